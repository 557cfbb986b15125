// `cmake --install` of this build: the programs, the data they look for beside themselves, and the
// desktop entry; the installed tool runs and finds the canned libraries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Capture(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    *status = pclose(pipe);
    return out;
}

TEST(Install, PutsProgramsDataAndDesktopEntryInPlace) {
    const fs::path build = TELVANE_BINARY_DIR;
    // Installing needs every program built; a partial build (one test target) cannot install.
    for (const char* program : {"src/ui/telvane", "tools/telvane-modemsim", "tools/telvane-tool"})
        if (!fs::exists(build / program)) GTEST_SKIP() << program << " is not built";
    char folder[] = "/tmp/telvane-install-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const fs::path prefix = folder;
    int status = -1;
    const std::string log =
        Capture("cmake --install '" + build.string() + "' --prefix '" + prefix.string() + "' 2>&1",
                &status);
    ASSERT_EQ(status, 0) << log;

    for (const char* file :
         {"bin/telvane", "bin/telvane-modemsim", "bin/telvane-tool", "share/telvane/english.pdb",
          "share/telvane/chimsg.pdb", "share/telvane/big_5.pdb", "share/telvane/demo-sim.ini",
          "share/telvane/gif/textmemo.gif", "share/telvane/gif/invmemo.gif",
          "share/applications/telvane.desktop", "share/icons/hicolor/scalable/apps/telvane.svg"})
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;

    const std::string home = (prefix / "home").string();
    const std::string listed = Capture(
        "TELVANE_HOME='" + home + "' '" + (prefix / "bin/telvane-tool").string() + "' canned list",
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listed.find("english"), std::string::npos) << listed;

    std::error_code ec;
    fs::remove_all(prefix, ec);
}

}  // namespace
