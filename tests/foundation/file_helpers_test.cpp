#include "core/foundation/binary_string.h"
#include "core/foundation/debug_log.h"
#include "core/foundation/files/exclusive_file.h"
#include "core/foundation/files/paths.h"
#include "core/foundation/files/private_files.h"
#include "core/foundation/files/read_file.h"
#include "core/foundation/files/replace_file.h"
#include "core/foundation/gzip.h"
#include "core/foundation/raw_contents.h"
#include "core/foundation/sha1.h"
#include "tests/support/test_environment.h"
#include "tests/support/upload_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <fstream>
#include <sstream>
#include <string_view>

namespace kes {
namespace {

std::string fresh_folder(const std::string& name) {
    const std::string folder = testing::private_home() + "/files-" + name;
    filesystem::create_directories_if_missing(folder);
    return folder;
}

unsigned mode_of(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(FilePaths, NameAndExtensionFollowTheLastSlashAndDot) {
    EXPECT_EQ(filesystem::filename("/a/b/c.kesg"), "c.kesg");
    EXPECT_EQ(filesystem::filename("c.kesg"), "c.kesg");
    EXPECT_EQ(filesystem::filename("/a/b/"), "");
    EXPECT_EQ(filesystem::extension("c.kesg"), ".kesg");
    EXPECT_EQ(filesystem::extension("noext"), "");
    EXPECT_EQ(filesystem::extension(".."), "");
    EXPECT_EQ(filesystem::extension("."), "");
    EXPECT_EQ(filesystem::extension("dir.old/file"), ".old/file");
}

TEST(FileFolders, ArePrivateListedFlatAndReadWhole) {
    const std::string folder = fresh_folder("list") + "/deeper/still";
    filesystem::create_directories_if_missing(folder);
    EXPECT_EQ(mode_of(folder), 0700u);
    EXPECT_TRUE(filesystem::is_directory(folder));
    {
        filesystem::ofstream out(folder + "/a.bin", std::ios::binary);
        out.write("x\0y", 3);
    }
    EXPECT_EQ(mode_of(folder + "/a.bin"), 0600u);
    filesystem::create_directories_if_missing(folder + "/sub");
    auto entries = filesystem::list_directory(folder);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{folder + "/a.bin", folder + "/sub"}));

    std::vector<char> contents{'o', 'l', 'd'};
    LoadRawContents(folder + "/a.bin", contents);
    EXPECT_EQ(std::string(contents.begin(), contents.end()), std::string("x\0y", 3));
    LoadRawContents(folder + "/missing", contents);
    EXPECT_TRUE(contents.empty());
    contents.assign(3, 'x');
    LoadRawContents(folder, contents);  // a folder seeks to the end of the largest offset there is
    EXPECT_TRUE(contents.empty());

    EXPECT_THROW(filesystem::rename(folder + "/missing", folder + "/b"), boost::filesystem::filesystem_error);
    EXPECT_THROW(filesystem::list_directory(folder + "/a.bin"), boost::filesystem::filesystem_error);
    EXPECT_NO_THROW(filesystem::remove(folder + "/missing"));
    EXPECT_FALSE(filesystem::exists(folder + "/missing"));
}

// The compressed bytes, or nullopt when compress_string_gzip failed; `room`
// bytes are offered.
std::optional<std::string> gzip_of(std::string_view text, std::size_t room) {
    std::string buffer(room, '\xAA');  // not zeros: the room is never filled beforehand
    std::size_t length = room;
    if (!util::compress_string_gzip(text, reinterpret_cast<unsigned char*>(buffer.data()), length)) return std::nullopt;
    buffer.resize(length);
    return buffer;
}

// A pipe, a device or a folder where a small file is expected must neither
// block the reader, feed it without end, nor throw out of it.
TEST(BoundedFileReading, ReadsOnlyRegularFilesUpToTheirLimit) {
    const std::string folder = fresh_folder("bounded");
    const std::string fifo = folder + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(folder + "/exact", std::ios::binary) << std::string(100, 'k');

    const fs::file_contents exact = fs::read_regular_file(folder + "/exact", 100);
    EXPECT_TRUE(exact.is_read());
    EXPECT_EQ(exact.bytes, std::string(100, 'k'));
    EXPECT_EQ(fs::read_regular_file(folder + "/exact", 99).result, fs::read_result::too_large);
    EXPECT_EQ(fs::read_regular_file(folder + "/exact", 99).describe(), "larger than 99 bytes");
    EXPECT_EQ(fs::read_regular_file(folder + "/missing", 100).result, fs::read_result::missing);
    EXPECT_EQ(fs::read_regular_file(folder + "/exact/below", 100).result, fs::read_result::missing);
    for (const std::string& odd : {fifo, folder, std::string("/dev/zero"), std::string("/dev/null")}) {
        const fs::file_contents found = fs::read_regular_file(odd, 1 << 20);
        EXPECT_EQ(found.result, fs::read_result::not_regular) << odd;
        EXPECT_TRUE(found.bytes.empty()) << odd;
    }
    // /proc files say they are empty and are regular: what they hold is read, up to the limit.
    const fs::file_contents status = fs::read_regular_file("/proc/self/status", 1 << 20);
    EXPECT_TRUE(status.is_read());
    EXPECT_NE(status.bytes.find("VmHWM"), std::string::npos);
    EXPECT_EQ(fs::read_regular_file("/proc/self/status", 16).result, fs::read_result::too_large);
}

TEST(Gzip, CompressesEveryByteIncludingNuls) {
    const std::string text = std::string("\"title\0with nul\",\"x\"\n", 22) + std::string(5000, 'a');
    const std::optional<std::string> compressed = gzip_of(text, text.size() * 2);
    ASSERT_TRUE(compressed);
    EXPECT_LT(compressed->size(), text.size());
    EXPECT_EQ(testing::gunzip(*compressed), text);
}

TEST(Gzip, EmptyTextIsAValidMemberAndATooSmallBufferFailsWithALogLine) {
    const std::optional<std::string> empty = gzip_of("", 64);
    ASSERT_TRUE(empty);
    EXPECT_EQ(testing::gunzip(*empty), "");

    EXPECT_FALSE(gzip_of("some text to compress", 1));
    EXPECT_NE(debug_log_read().find(L"[util:compress_string_gzip] failed to deflate until end: "), std::wstring::npos);
}

TEST(BinaryString, KeepsUpTo4095CharactersAndStoresLongerOnesAsTheirCountAlone) {
    const std::wstring longest(4095, L'\x1F600');
    const std::wstring too_long(4096, L'z');
    std::stringstream stream;
    util::write_wstring(stream, L"");
    util::write_wstring(stream, longest);
    util::write_wstring(stream, too_long);
    util::write_wstring(stream, L"after");
    const std::string bytes = stream.str();
    EXPECT_EQ(bytes.substr(0, 8), std::string(8, '\0'));
    EXPECT_EQ(bytes.size(), 8 + (8 + 4 * 4095) + 8 + (8 + 4 * 5));

    std::wstring text = L"stale";
    util::read_wstring(stream, text);
    EXPECT_EQ(text, L"");
    util::read_wstring(stream, text);
    EXPECT_EQ(text, longest);
    util::read_wstring(stream, text);
    EXPECT_EQ(text, L"");
    util::read_wstring(stream, text);
    EXPECT_EQ(text, L"after");
    EXPECT_TRUE(stream.good());
    util::read_wstring(stream, text);
    EXPECT_TRUE(stream.fail());
}

TEST(Sha1, GivesTheStandardDigestsAndRefusesInputAfterTheResult) {
    const auto digest_of = [](const std::string& message, int repeat) {
        SHA1 sha;
        for (int i = 0; i < repeat; ++i) sha.Input(message.data(), message.size());
        std::uint32_t words[5];
        EXPECT_TRUE(sha.Result(words));
        return sha1_text(words);
    };
    EXPECT_EQ(digest_of("abc", 1), L"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(digest_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1),
              L"84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    EXPECT_EQ(digest_of("a", 1000000), L"34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");

    SHA1 sha;
    sha << "abc";
    std::uint32_t first[5], second[5];
    ASSERT_TRUE(sha.Result(first));
    ASSERT_TRUE(sha.Result(second));
    EXPECT_EQ(sha1_text(first), sha1_text(second));
    sha << 'x';
    std::uint32_t untouched[5] = {1, 2, 3, 4, 5};
    EXPECT_FALSE(sha.Result(untouched));
    EXPECT_EQ(untouched[0], 1u);
    sha.Reset();
    sha << "abc";
    ASSERT_TRUE(sha.Result(first));
    EXPECT_EQ(sha1_text(first), L"A9993E364706816ABA3E25717850C26C9CD0D89D");
}

TEST(ExclusiveFile, AppearsWholeUnderItsNameAndNeverReplacesAnother) {
    const std::string folder = fresh_folder("exclusive");
    const auto written = fs::write_file_exclusively(folder + "/one.tmp", folder + "/one.kesg", "payload");
    ASSERT_EQ(written.result, fs::exclusive_write_result::written) << written.error;
    EXPECT_EQ(testing::read_file(folder + "/one.kesg"), "payload");
    EXPECT_EQ(mode_of(folder + "/one.kesg"), 0600u);

    const auto clash = fs::write_file_exclusively(folder + "/two.tmp", folder + "/one.kesg", "other");
    EXPECT_EQ(clash.result, fs::exclusive_write_result::name_taken);
    EXPECT_EQ(testing::read_file(folder + "/one.kesg"), "payload");
    EXPECT_EQ(testing::folder_names(folder), std::vector<std::string>{"one.kesg"});

    const auto no_folder =
        fs::write_file_exclusively(folder + "/none/x.tmp", folder + "/none/x.kesg", "payload");
    EXPECT_EQ(no_folder.result, fs::exclusive_write_result::failed);
    EXPECT_FALSE(no_folder.error.empty());
}

TEST(PrivateFolders, AreMadeWholeOrTheFailingPartIsNamed) {
    const std::string folder = fresh_folder("make");
    EXPECT_TRUE(fs::make_folders(folder + "/a/b/c/"));
    EXPECT_EQ(mode_of(folder + "/a"), 0700u);
    EXPECT_EQ(mode_of(folder + "/a/b/c"), 0700u);
    EXPECT_TRUE(fs::make_folders(folder + "/a/b/c"));  // there already

    { std::ofstream(folder + "/plain") << "x"; }
    EXPECT_FALSE(fs::make_folders(folder + "/plain/below"));
    EXPECT_FALSE(fs::make_folders(folder + "/plain"));
    try {
        fs::create_private_directories(folder + "/plain/below/deeper");
        ADD_FAILURE() << "a file on the way must stop the folders";
    } catch (const boost::filesystem::filesystem_error& e) {
        EXPECT_EQ(e.path1().string(), folder + "/plain/below");
    }
    EXPECT_FALSE(filesystem::exists(folder + "/plain/below"));
}

// Both ways of replacing a file leave the old content and no temporary when
// the last step fails, and give the new file its mode when it succeeds.
TEST(ReplacedFiles, AreWholeWithTheirModeOrLeaveNothingBehind) {
    const std::string folder = fresh_folder("replace");
    std::string error;
    ASSERT_TRUE(fs::replace_file_atomically(folder + "/own", "one", error)) << error;
    ASSERT_TRUE(fs::replace_file_atomically(folder + "/own", "two", error)) << error;
    EXPECT_EQ(testing::read_file(folder + "/own"), "two");
    EXPECT_EQ(mode_of(folder + "/own"), 0600u);
    ASSERT_TRUE(fs::replace_small_file(folder + "/users", "entry", 0644));
    EXPECT_EQ(testing::read_file(folder + "/users"), "entry");
    EXPECT_EQ(mode_of(folder + "/users"), 0644u);

    // A folder in the way: renaming a file over it fails.
    filesystem::create_directories_if_missing(folder + "/taken");
    EXPECT_FALSE(fs::replace_file_atomically(folder + "/taken", "x", error));
    EXPECT_EQ(error.rfind("rename: ", 0), 0u) << error;
    EXPECT_FALSE(fs::replace_small_file(folder + "/taken", "x"));
    EXPECT_EQ(testing::folder_names(folder), (std::vector<std::string>{"own", "taken", "users"}));
}

// No reader ever comes to a pipe planted at the temporary name: the save
// must not wait for one, must not write into it, and must leave the name
// free for the next save.
TEST(ReplacedFiles, APipeAtTheTemporaryNameIsRefusedAtOnce) {
    const std::string folder = fresh_folder("replace-pipe");
    ASSERT_EQ(::mkfifo((folder + "/settings.tmp").c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            ::alarm(20);  // a save that waits ends here, and fails the test
            std::string first_error;
            std::string second_error;
            const bool first = fs::replace_file_atomically(folder + "/settings", "new", first_error);
            const bool second = fs::replace_file_atomically(folder + "/settings", "new", second_error);
            std::fprintf(stderr, "first: %d %s\n", first, first_error.c_str());
            std::_Exit(!first && second && testing::read_file(folder + "/settings") == "new" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "first: 0 open .*/settings.tmp: not a regular file");
}

}  // namespace
}  // namespace kes
