// The Windows packages under Wine: the installer, run silently, puts the program under
// Program Files with a Start-menu entry and an uninstaller listed among Windows' programs,
// and the uninstaller takes all of it away again; the zip unpacks to a program that starts.
// Each installed or unpacked program must open its window and quit with status 0.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/xsession.h"
#include "tools/xharness/subprocess.h"
#include "tools/xharness/timing.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t INSTALL_SECONDS = 120;
constexpr int32_t UNINSTALL_WAIT_MS = 30000;
constexpr int32_t POLL_MS = 100;

const std::string PACKAGE = "corvane-" CORVANE_VERSION "-windows-x64";
const std::string UNINSTALL_KEY =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane";

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "'" + string + "'".
std::string quoted(const fs::path& path) {
    std::string text = "'";
    text.append(path.string()).push_back('\'');
    return text;
}

// Runs a shell command under a time limit, with Wine's prefix and quiet settings; its
// output goes to the test's log. Returns the exit status.
int32_t run(const std::string& command, int32_t seconds) {
    std::string line;
    for (const std::string& entry : subprocess::quietWine(CORVANE_WINE_PREFIX)) {
        const size_t equals = entry.find('=');
        line.append(entry, 0, equals + 1)
            .append(quoted(fs::path(entry.substr(equals + 1))))
            .append(" ");
    }
    line += "timeout " + std::to_string(seconds) + " " + command + " </dev/null";
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Starts the Windows program at `path` in a private X server, checks its window and quits
// it with Esc.
void expectStartsAndQuits(const fs::path& path) {
    ASSERT_TRUE(fs::exists(path)) << path;
    setenv("CORVANE_WINE_PROGRAM", path.c_str(), 1);
    std::string error;
    ASSERT_TRUE(xsession::startServer(error)) << error;
    ASSERT_TRUE(xsession::startGame(error)) << error;
    ASSERT_TRUE(xsession::findWindow(xsession::SHOW_MS))
        << "no window; stderr: " << xsession::capturedStderr();
    EXPECT_EQ(xsession::windowName(), "corvane");
    xsession::tapKey("Escape");
    int32_t status = -1;
    EXPECT_TRUE(xsession::waitExit(xsession::EXIT_MS, status)) << "still running";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(xsession::capturedStderr(), "");
    xsession::stop();
    unsetenv("CORVANE_WINE_PROGRAM");
}

// Every Start-menu shortcut named Corvane in the prefix.
int32_t startMenuEntries() {
    int32_t found = 0;
    const fs::path drive = fs::path(CORVANE_WINE_PREFIX) / "drive_c";
    std::error_code error;
    for (fs::recursive_directory_iterator it(drive, error), end; it != end && !error;
         it.increment(error)) {
        const std::string path = it->path().string();
        if (it->path().filename() == "Corvane.lnk" &&
            path.find("Start Menu") != std::string::npos) {
            ++found;
        }
    }
    return found;
}

class WindowsPackages : public ::testing::Test {
  protected:
    void TearDown() override {
        xsession::stop();
        unsetenv("CORVANE_WINE_PROGRAM");
    }
};

TEST_F(WindowsPackages, TheZipUnpacksToAProgramThatStarts) {
    const fs::path zip = fs::path(CORVANE_WINDOWS_DIR) / (PACKAGE + ".zip");
    ASSERT_TRUE(fs::exists(zip)) << zip << ": build it with 'make windows-package'";
    const fs::path unpacked = fs::path(CORVANE_WINE_PREFIX).parent_path() / "windows-zip";
    fs::remove_all(unpacked);
    fs::create_directories(unpacked);
    ASSERT_EQ(run("sh -c 'cd \"$1\" && cmake -E tar xf \"$2\"' sh " + quoted(unpacked) + " " +
                      quoted(zip),
                  60),
              0);
    const fs::path folder = unpacked / PACKAGE;
    for (const char* name : {"corvane.exe", "README.txt", "LICENSE.txt"}) {
        EXPECT_TRUE(fs::exists(folder / name)) << name;
    }
    expectStartsAndQuits(folder / "corvane.exe");
    fs::remove_all(unpacked);
}

TEST_F(WindowsPackages, TheInstallerAddsTheGameAndItsUninstallerTakesAllOfItAway) {
    const fs::path setup = fs::path(CORVANE_WINDOWS_DIR) / (PACKAGE + "-setup.exe");
    ASSERT_TRUE(fs::exists(setup)) << setup << ": build it with 'make windows-package'";
    const fs::path folder = fs::path(CORVANE_WINE_PREFIX) / "drive_c/Program Files/Corvane";
    ASSERT_FALSE(fs::exists(folder));
    ASSERT_EQ(startMenuEntries(), 0);

    ASSERT_EQ(run("wine " + quoted(setup) + " /S", INSTALL_SECONDS), 0);
    for (const char* name : {"corvane.exe", "README.txt", "LICENSE.txt", "Uninstall.exe"}) {
        EXPECT_TRUE(fs::exists(folder / name)) << name;
    }
    EXPECT_EQ(startMenuEntries(), 1);
    EXPECT_EQ(run("wine reg query '" + UNINSTALL_KEY + "' >/dev/null", 30), 0)
        << "no entry among the installed programs";
    expectStartsAndQuits(folder / "corvane.exe");

    // The uninstaller copies itself away and works from there, so the run returns before
    // it is done: wait for the folder to go.
    ASSERT_EQ(run("wine " + quoted(folder / "Uninstall.exe") + " /S", INSTALL_SECONDS), 0);
    for (int32_t waited = 0; fs::exists(folder) && waited < UNINSTALL_WAIT_MS; waited += POLL_MS) {
        timing::sleepMs(POLL_MS);
    }
    EXPECT_FALSE(fs::exists(folder)) << "the program's folder is still there";
    EXPECT_EQ(startMenuEntries(), 0);
    EXPECT_NE(run("wine reg query '" + UNINSTALL_KEY + "' >/dev/null 2>&1", 30), 0)
        << "still listed among the installed programs";
}

}  // namespace
