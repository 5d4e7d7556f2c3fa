#pragma once
// The helper's application: it has no window, no menu and nothing to wait
// for, so it ends as soon as its delegate has finished launching.

// Runs the helper; the exit code is always 0, whatever the delegate found.
int application_main(int argc, char** argv);
