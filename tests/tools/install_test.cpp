// `cmake --install` of this build: the programs, the data they look for beside themselves, the
// desktop entry, metadata, manual pages and completion; the installed tool runs and finds the
// canned libraries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "telvane_version.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

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
    // Builds without the window (the ThreadSanitizer one) install the tools and data only.
    const std::string script = ReadText(build / "cmake_install.cmake");
    const bool withWindow = script.find("src/ui/cmake_install.cmake") != std::string::npos;
    std::vector<std::string> built = {"tools/telvane-modemsim", "tools/telvane-tool",
                                      "packaging/man1/telvane-tool.1.gz"};
    if (withWindow) built.push_back("src/ui/telvane");
    // Installing needs everything built; a partial build (one test target) cannot install.
    for (const std::string& file : built)
        if (!fs::exists(build / file)) GTEST_SKIP() << file << " is not built";
    char folder[] = "/tmp/telvane-install-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const fs::path prefix = folder;
    int status = -1;
    const std::string log =
        Capture("cmake --install '" + build.string() + "' --prefix '" + prefix.string() + "' 2>&1",
                &status);
    ASSERT_EQ(status, 0) << log;

    std::vector<std::string> files = {"bin/telvane-modemsim",
                                      "bin/telvane-tool",
                                      "share/telvane/english.pdb",
                                      "share/telvane/chimsg.pdb",
                                      "share/telvane/big_5.pdb",
                                      "share/telvane/demo-sim.ini",
                                      "share/man/man1/telvane-tool.1.gz",
                                      "share/man/man1/telvane-modemsim.1.gz",
                                      "share/bash-completion/completions/telvane-tool",
                                      "share/doc/telvane/copyright",
                                      "share/doc/telvane/changelog.gz"};
    if (withWindow) {
        files.insert(
            files.end(),
            {"bin/telvane", "share/telvane/gif/textmemo.gif", "share/telvane/gif/invmemo.gif",
             "share/applications/telvane.desktop", "share/icons/hicolor/scalable/apps/telvane.svg",
             "share/icons/hicolor/48x48/apps/telvane.png",
             "share/icons/hicolor/128x128/apps/telvane.png", "share/man/man1/telvane.1.gz"});
    }
    for (const std::string& file : files)
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;

    const std::string home = (prefix / "home").string();
    const std::string listed = Capture(
        "TELVANE_HOME='" + home + "' '" + (prefix / "bin/telvane-tool").string() + "' canned list",
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listed.find("english"), std::string::npos) << listed;
    // The installed program reads only its own share/telvane, never the build tree's data.
    fs::remove(prefix / "share/telvane/english.pdb");
    const std::string without = Capture(
        "TELVANE_HOME='" + home + "' '" + (prefix / "bin/telvane-tool").string() + "' canned list",
        &status);
    EXPECT_EQ(without.find("english"), std::string::npos) << without;

    // One version everywhere: the tool's, the desktop entry's and the metadata's come from the
    // build.
    std::error_code ec;
    const std::string version =
        Capture("'" + (prefix / "bin/telvane-tool").string() + "' --version", &status);
    EXPECT_EQ(version, std::string("telvane-tool ") + telvane::kVersion + "\n");
    if (withWindow) {
        EXPECT_NE(ReadText(prefix / "share/applications/telvane.desktop")
                      .find(std::string("X-Telvane-Version=") + telvane::kVersion + "\n"),
                  std::string::npos);
        // One AppStream file, whose latest release is this version.
        std::vector<fs::path> metainfo;
        for (const auto& entry : fs::directory_iterator(prefix / "share/metainfo", ec))
            metainfo.push_back(entry.path());
        EXPECT_EQ(metainfo.size(), 1u);
        if (!metainfo.empty()) {
            EXPECT_NE(ReadText(metainfo[0])
                          .find(std::string("<release version=\"") + telvane::kVersion + "\""),
                      std::string::npos);
        }
    }

    fs::remove_all(prefix, ec);
}

}  // namespace
