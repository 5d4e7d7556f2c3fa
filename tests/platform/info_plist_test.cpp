#include "platform/info_plist.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace platform {
namespace {

std::string write_plist(const std::string& name, const std::string& text) {
    const std::string path = kes::testing::private_home() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

using entries = std::map<std::string, std::string>;

TEST(InfoPlist, ReadsTheTopLevelStringsOfTheBuildsOwnForm) {
    const std::string path = write_plist("Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>Kestrel</string>
	<!-- <key>CFBundleIdentifier</key><string>commented.out</string> -->
	<key>CFBundleIdentifier</key>
	<string>com.kestrel.Kestrel</string>
	<key>LSBackgroundOnly</key>
	<true/>
	<key>CFBundleName</key>
	<string>R&amp;D &#x4B;estrel &#233; &lt;&gt; &unknown; <![CDATA[<raw> &amp;]]></string>
	<key>Empty</key>
	<string/>
</dict>
</plist>
)");
    EXPECT_EQ(info_plist_strings(path), (entries{{"CFBundleExecutable", "Kestrel"},
                                                 {"CFBundleIdentifier", "com.kestrel.Kestrel"},
                                                 {"CFBundleName", "R&D Kestrel \xC3\xA9 <> &unknown; <raw> &amp;"},
                                                 {"Empty", ""}}));
    EXPECT_EQ(info_plist_string(path, "CFBundleIdentifier"), "com.kestrel.Kestrel");
    EXPECT_EQ(info_plist_string(path, "LSBackgroundOnly"), "");  // not a string
    EXPECT_EQ(info_plist_string(path, "Missing"), "");
}

TEST(InfoPlist, KeysOfNestedDictionariesAndStringsThatLookLikeKeysDoNotCount) {
    // A first match anywhere in the text would answer "evil" for both.
    const std::string path = write_plist("Nested.plist", R"(<plist><dict>
  <key>CFBundleDocumentTypes</key>
  <array><dict><key>CFBundleIdentifier</key><string>evil</string></dict></array>
  <key>Note</key><string>&lt;key&gt;CFBundleExecutable&lt;/key&gt;</string>
  <key>Sub</key><dict><key>CFBundleExecutable</key><string>evil</string></dict>
  <key>CFBundleIdentifier</key><string>good</string>
</dict></plist>)");
    EXPECT_EQ(info_plist_strings(path), (entries{{"CFBundleIdentifier", "good"},
                                                 {"Note", "<key>CFBundleExecutable</key>"}}));
}

TEST(InfoPlist, MalformedListsReadAsEmpty) {
    const std::map<std::string, std::string> broken = {
        {"unterminated", "<plist><dict><key>A</key><string>x</string>"},
        {"value-without-key", "<plist><dict><string>x</string></dict></plist>"},
        {"two-keys", "<plist><dict><key>A</key><key>B</key><string>x</string></dict></plist>"},
        {"child-in-string", "<plist><dict><key>A</key><string>x<b/>y</string></dict></plist>"},
        {"no-dict", "<plist><array><string>x</string></array></plist>"},
        {"binary", std::string("bplist00\xd1\x01\x02QAQx\x08\x0b\x0d", 15)},
        {"empty", ""},
    };
    for (const auto& [name, text] : broken) {
        EXPECT_TRUE(info_plist_strings(write_plist(name, text)).empty()) << name;
    }
}

TEST(InfoPlist, OnlyARegularFileOfBoundedSizeIsRead) {
    const std::string home = kes::testing::private_home();
    const std::string small = "<plist><dict><key>A</key><string>x</string></dict></plist>";
    // Exactly at the bound it is read; one byte more and it is not.
    std::string padded = small + std::string(static_cast<std::size_t>(max_info_plist_size) - small.size(), ' ');
    EXPECT_EQ(info_plist_string(write_plist("at-bound.plist", padded), "A"), "x");
    EXPECT_EQ(info_plist_string(write_plist("over-bound.plist", padded + " "), "A"), "");

    // A pipe must neither block the reader nor be read.
    const std::string fifo = home + "/pipe.plist";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(info_plist_strings(fifo).empty());
    // Nor a device behind a link, nor a folder.
    const std::string link = home + "/zero.plist";
    std::filesystem::create_symlink("/dev/zero", link);
    EXPECT_TRUE(info_plist_strings(link).empty());
    EXPECT_TRUE(info_plist_strings(home).empty());
    EXPECT_TRUE(info_plist_strings(home + "/missing.plist").empty());
    // A link to a regular file is a regular file.
    const std::string good_link = home + "/good-link.plist";
    std::filesystem::create_symlink(write_plist("target.plist", small), good_link);
    EXPECT_EQ(info_plist_string(good_link, "A"), "x");
}

// Python's own property-list reader: what a real consumer of the file sees.
std::string python_plist(const std::string& path, const std::string& key) {
    const std::string command = "/usr/bin/python3 -c 'import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
                                "print(repr(d.get(sys.argv[2])), len(d))' '" + path + "' '" + key + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    std::array<char, 256> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get())) out += buffer.data();
    return out;
}

const char* const build_form = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>Kestrel</string>
	<key>LSBackgroundOnly</key>
	<true/>
	<key>Nested</key>
	<dict><key>NSUIElement</key><string>nested</string></dict>
</dict>
</plist>
)";

TEST(InfoPlistEdit, AddsAMissingEntryThenReplacesItsValueKeepingEverythingElse) {
    const std::string path = write_plist("Edited.plist", build_form);
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(set_info_plist_string(path, "NSUIElement", "1"));
    EXPECT_EQ(python_plist(path, "NSUIElement"), "'1' 4\n");
    EXPECT_EQ(python_plist(path, "LSBackgroundOnly"), "True 4\n");
    EXPECT_EQ(python_plist(path, "Nested"), "{'NSUIElement': 'nested'} 4\n");

    ASSERT_TRUE(set_info_plist_string(path, "NSUIElement", "0 & <more>"));
    EXPECT_EQ(python_plist(path, "NSUIElement"), "'0 & <more>' 4\n");
    EXPECT_EQ(info_plist_string(path, "NSUIElement"), "0 & <more>");
    // A value of another kind is replaced by the string.
    ASSERT_TRUE(set_info_plist_string(path, "LSBackgroundOnly", "no"));
    EXPECT_EQ(python_plist(path, "LSBackgroundOnly"), "'no' 4\n");

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(InfoPlistEdit, AFileItCannotReadOrReplaceStaysAsItWas) {
    const std::string broken = write_plist("Broken.plist", "<plist><dict><key>A</key></plist>");
    EXPECT_FALSE(set_info_plist_string(broken, "NSUIElement", "1"));
    EXPECT_EQ(kes::testing::read_file(broken), "<plist><dict><key>A</key></plist>");
    EXPECT_FALSE(set_info_plist_string(kes::testing::private_home() + "/missing.plist", "NSUIElement", "1"));

    const std::string folder = kes::testing::private_home() + "/Folder.plist";
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(set_info_plist_string(folder, "NSUIElement", "1"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace platform
