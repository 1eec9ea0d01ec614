// What release managers ask quro-pack: the JSON of inspect, the difference between two releases, and the paths Windows
// would refuse to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "diff.h"
#include "sha256.h"
#include "tree_walk.h"
#include "utf8.h"
#include "test_support.h"
#include "windows_paths.h"

using namespace quro_pack_test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A setup of folder made with the test stub (version 1.2.3.4).
std::string MakeSetup(const TempDir& dir, const std::string& folder, const std::string& name)
{
    PackStored(folder, dir / name, QURO_TEST_STUB);
    return dir / name;
}

std::u16string Wide(const std::string& utf8)
{
    return quro_pack::Utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size());
}

std::string Sha256Hex(const Bytes& data)
{
    std::uint8_t digest[32];
    quro_pack::Sha256(data.data(), data.size(), digest);
    std::string hex;
    char two[3];
    for (std::uint8_t b : digest) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

}  // namespace

TEST(Release, InspectJsonListsEveryFileWithItsDigest)
{
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    WriteText(dir / "app/data/a b.txt", "text\n");
    WriteText(dir / "app/data/empty", "");
    const std::string setup = MakeSetup(dir, dir / "app", "Setup.exe");
    const RunResult r = RunTool({QURO_PACK_EXE, "inspect", "--json", setup});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["verdict"], "ok");
    EXPECT_EQ(doc["setupProgram"]["fileVersion"], "1.2.3.4");
    EXPECT_EQ(doc["signed"], false);
    std::vector<std::tuple<std::string, std::uint64_t, std::string>> listed, packed;
    for (const auto& f : doc["files"]) listed.emplace_back(f["name"], f["size"], f["sha256"]);
    for (auto [name, bytes] : ReadTree(dir / "app")) {
        std::replace(name.begin(), name.end(), '/', '\\');
        packed.emplace_back(name, bytes.size(), Sha256Hex(bytes));
    }
    // Listed in the package's own order.
    std::sort(listed.begin(), listed.end());
    std::sort(packed.begin(), packed.end());
    EXPECT_EQ(listed, packed);
}

// Changes come in the order of the names the install folder shows, a later
// record of a name counting under any spelling Windows opens as that file:
// two packages that list evil and good bytes under two spellings in
// opposite orders install different files, and differ.
TEST(Release, DiffReportsWhatAnUpdateChanges)
{
    TempDir dir;
    for (const char* side : {"old", "new"}) {
        WriteText(dir / side + std::string("/DraloHost.exe"), "MZ");
        WriteText(dir / side + std::string("/same/kept.txt"), "kept");
    }
    WriteText(dir / "old/gone.txt", "gone");
    WriteText(dir / "old/changed.dll", "before");
    WriteText(dir / "new/changed.dll", "after!!");
    WriteText(dir / "new/sub/added.txt", "added");
    const std::string before = MakeSetup(dir, dir / "old", "Old.exe"), after = MakeSetup(dir, dir / "new", "New.exe");
    WriteBytes(dir / "twice.bin", Resource(FileList({{"sub/added.txt", "x"},
                                                     {"DraloHost.exe", "MZ"},
                                                     {"same\\kept.txt", "kept"},
                                                     {"changed.dll", "after!!"},
                                                     {"sub\\added.txt", "added"}},
                                                    5)));
    const std::pair<std::string, std::string> evil[] = {{"DRALOHOST.EXE", "evil"}, {"DraloHost.exe", "good"},
                                                        {"./x.dll", "1"},          {"x.dll", "2"},
                                                        {"lib\\y.dll", "3"},       {"lib/y.dll", "4"}};
    WriteBytes(dir / "evil-last.bin", Resource(FileList({evil[1], evil[0], evil[3], evil[2], evil[5], evil[4]}, 6)));
    WriteBytes(dir / "good-last.bin", Resource(FileList({evil[0], evil[1], evil[2], evil[3], evil[4], evil[5]}, 6)));
    struct Case {
        std::string oldFile, newFile;
        std::vector<std::string> changes;
        bool same;
        std::vector<std::uint64_t> counts;  // files and totals, old and new
    };
    // clang-format off
    const Case cases[] = {
        {before, after, {"changed 6 -> 7 changed.dll", "removed 4 gone.txt", "added 5 sub\\added.txt"}, false, {4, 4, 16, 18}},
        {after, dir / "twice.bin", {}, true, {4, 4, 18, 18}},
        {dir / "good-last.bin", dir / "evil-last.bin", {"changed 4 -> 4 DraloHost.exe", "changed 1 -> 1 lib\\y.dll", "changed 1 -> 1 x.dll"}, false, {3, 3, 6, 6}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.newFile);
        std::vector<std::string> seen;
        const quro_pack::DiffSummary s =
            quro_pack::ComparePackages(c.oldFile, c.newFile, [&](const quro_pack::FileChange& f) {
                using Kind = quro_pack::FileChange::Kind;
                seen.push_back(f.kind == Kind::Added ? "added " + std::to_string(f.newSize)
                               : f.kind == Kind::Removed
                                   ? "removed " + std::to_string(f.oldSize)
                                   : "changed " + std::to_string(f.oldSize) + " -> " + std::to_string(f.newSize));
                seen.back() += " " + quro_pack::Utf16ToUtf8(f.name);
            });
        EXPECT_EQ(seen, c.changes);
        EXPECT_EQ(s.Same(), c.same);
        EXPECT_EQ((std::vector<std::uint64_t>{s.oldFiles, s.newFiles, s.oldTotal, s.newTotal}), c.counts);
    }
    // The command prints them, and exits 2 with one line for a file that is no package.
    const RunResult r = RunTool({QURO_PACK_EXE, "diff", before, after});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(LinesOf(r.out),
              (std::vector<std::string>{
                  "changed                 6 -> 7  changed.dll", "removed                      4  gone.txt",
                  "added                        5  sub\\added.txt", "files    4 -> 4 (1 added, 1 removed, 1 changed)",
                  "unpacked 16 -> 18 bytes", "setup program 1.2.3.4 (product version 1.2.3.4)"}));
    const RunResult json = RunTool({QURO_PACK_EXE, "diff", "--json", before, after});
    EXPECT_EQ(json.exitCode, 1) << json.err;
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["changes"].size(), 3u);
    EXPECT_EQ(doc["changes"][2], (nlohmann::json{{"change", "added"}, {"name", "sub\\added.txt"}, {"newSize", 5}}));
    EXPECT_EQ(doc["same"], false);
    const RunResult broken = RunTool({QURO_PACK_EXE, "diff", before, dir / "old/gone.txt"});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_EQ(LinesOf(broken.err).size(), 1u) << broken.err;
}

// The staging folder C:\Program Files\Quro.new\ has 26 UTF-16 units; Windows
// writes file paths up to 259 and makes folder paths up to 247. The tree's
// warnings name the file of 234 units and the topmost folder of 222, once;
// inspect marks every file that needs either.
TEST(Release, PathsWindowsCannotWriteAreWarnedAboutAndMarked)
{
    std::string e116;
    for (int i = 0; i < 116; ++i) e116 += "\xc3\xa9";  // one UTF-16 unit in two bytes
    const std::string d100(100, 'd'), g133(133, 'g'), k222(222, 'k');
    struct Case {
        std::string name;
        std::string warning;  // the start of its warning, empty for none
        bool tooLong;
    };
    const Case cases[] = {
        {d100 + "/" + std::string(132, 'f'), "", false},
        {d100 + "/" + g133, d100 + "\\" + g133 + ": 234 characters; ", true},
        {e116 + "/" + e116, "", false},  // 233 units in 465 bytes
        {std::string(221, 'h') + "/x", "", false},
        {k222 + "/" + k222 + "/x", "folder " + k222 + ": 222 characters; ", true},
        {k222 + "/x", "", true},
    };
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    std::vector<std::string> expected, warned;
    for (const Case& c : cases) {
        WriteText(dir / "app/" + c.name, "x");
        EXPECT_EQ(quro_pack::CheckPath(Wide(c.name)).tooLong, c.tooLong) << c.name;
        if (!c.warning.empty()) expected.push_back(c.warning);
    }
    for (const std::string& w : quro_pack::TreeWarnings(dir / "app", quro_pack::WalkTree(dir / "app")))
        warned.push_back(w.substr(0, w.find(';') + 2));
    EXPECT_EQ(warned, expected);
    // 32,767 folders in 65,535 units are judged in one pass.
    std::string deep;
    for (int i = 0; i < 32767; ++i) deep += "a/";
    EXPECT_TRUE(quro_pack::CheckPath(Wide(deep + "x")).tooLong);
}

// The release gate on the file limit: 234 units below the staging folder make
// a path of 260; setup and embed --strict refuse it, and inspect fails the
// setup made without --strict. 233 units pass all three.
TEST(Release, StrictSetupAndInspectFailWhatWouldNotInstall)
{
    for (const std::size_t units : {234, 233}) {
        SCOPED_TRACE(units);
        const bool installs = units < 234;
        TempDir dir;
        WriteText(dir / "app/DraloHost.exe", "MZ");
        WriteText(dir / "app/" + std::string(100, 'd') + "/" + std::string(units - 101, 'f'), "x");
        PackStored(dir / "app", dir / "p.bin");
        for (const std::string command : {"setup", "embed"}) {
            std::string refused;
            try {
                if (command == "setup")
                    PackStored(dir / "app", dir / command, QURO_TEST_STUB, true);
                else
                    quro_pack::Embed(dir / "p.bin", QURO_TEST_STUB, dir / command, true);
            } catch (const quro_pack::Failure& f) {
                refused = f.details.empty() ? f.what() : f.details[0];
            }
            EXPECT_EQ(refused.find("its path has 260") != std::string::npos, !installs) << refused;
            EXPECT_EQ(fs::exists(dir / command), installs);
        }
        const quro_pack::Inspection inspection(MakeSetup(dir, dir / "app", "Setup.exe"));
        EXPECT_TRUE(inspection.intact());
        EXPECT_EQ(inspection.ok(), installs);
    }
}

// A package of 98 bytes that lists 3 million files: inspect --json and diff
// print them as they walk the list, within 256 MiB (holding the records took
// gigabytes).
TEST(Release, MillionsOfRecordsStayWithinBounds)
{
    const std::vector<std::string> cases[] = {{"inspect", "--json", QURO_MANY_RECORDS},
                                              {"diff", QURO_MANY_RECORDS, QURO_MANY_RECORDS}};
    for (const std::vector<std::string>& c : cases) {
        SCOPED_TRACE(c[0]);
        std::vector<std::string> arguments{"/bin/sh", "-c", "ulimit -v 262144 && exec \"$0\" \"$@\" | tail -n 2",
                                           QURO_PACK_EXE};
        arguments.insert(arguments.end(), c.begin(), c.end());
        const RunResult r = RunTool(arguments);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c[0] == "diff" ? "files    1 -> 1 (0 added, 0 removed, 0 changed)\nunpacked 0 -> 0 bytes\n"
                                        : "  ]\n}\n");
    }
}

// The winget manifests pass Microsoft's schemas (data/winget/) and state what
// the setup program does: its bytes' SHA-256, its switches and exit codes, the
// uninstall entry it writes. The package version is the numeric file version;
// the list of installed programs shows the product version (here made to
// differ), and maker texts that YAML would misread come back as given.
TEST(Release, WingetManifestsPassMicrosoftsSchemas)
{
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    Bytes patched = ReadBytes(MakeSetup(dir, dir / "app", "Setup.exe"));
    const std::u16string from = u"ProductVersion", was = u"1.2.3.4", is = u"1J.2.34";
    const auto at = std::search(patched.begin(), patched.end(), reinterpret_cast<const std::uint8_t*>(from.data()),
                                reinterpret_cast<const std::uint8_t*>(from.data() + from.size()));
    const auto version = std::search(at, patched.end(), reinterpret_cast<const std::uint8_t*>(was.data()),
                                     reinterpret_cast<const std::uint8_t*>(was.data() + was.size()));
    ASSERT_NE(version, patched.end());
    std::copy_n(reinterpret_cast<const std::uint8_t*>(is.data()), 2 * is.size(), version);
    WriteBytes(dir / "Patched.exe", patched);
    const std::string texts[] = {"yes", "Hosts: 'a' \"b\" #c", "two\nlines\t\xc3\xa9\xe2\x80\xa8."};
    struct Case {
        std::string setup;
        std::vector<std::string> options;
        nlohmann::json displayVersion;
        std::vector<nlohmann::json> locale;  // License, ShortDescription, Description
        std::size_t warnings;
    };
    const Case cases[] = {
        {dir / "Setup.exe",
         {},
         nullptr,
         {"<License: set with --license>", "<ShortDescription: set with --short-description>", nullptr},
         4},
        {dir / "Patched.exe",
         {"--id", "Quro.Quro.Host", "--license", texts[0], "--short-description", texts[1], "--description", texts[2],
          "--publisher-url", "https://quro.example", "--license-url", "https://quro.example/eula"},
         "1J.2.34",
         {texts[0], texts[1], texts[2]},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        std::vector<std::string> arguments{
            QURO_PACK_EXE, "winget", c.setup, "--url", "https://quro.example/S.exe", "-o", dir / "out/new"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const RunResult r = RunTool(arguments);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(LinesOf(r.err).size(), c.warnings) << r.err;
        const std::string id = c.options.empty() ? "Quro.QuroHost" : c.options[1];
        const RunResult check = RunTool({QURO_PYTHON, QURO_WINGET_VALIDATE, QURO_WINGET_SCHEMAS, dir / "out/new", id});
        ASSERT_EQ(check.exitCode, 0) << check.err;
        const nlohmann::json doc = nlohmann::json::parse(check.out);
        std::string sha256 = Sha256Hex(ReadBytes(c.setup));
        std::transform(sha256.begin(), sha256.end(), sha256.begin(), ::toupper);
        const std::pair<const char*, nlohmann::json> expected[] = {
            {"/version/PackageIdentifier", id},
            {"/defaultLocale/PackageVersion", "1.2.3.4"},
            {"/defaultLocale/License", c.locale[0]},
            {"/defaultLocale/ShortDescription", c.locale[1]},
            {"/defaultLocale/Description", c.locale[2]},
            {"/installer/Installers/0/InstallerSha256", sha256},
            {"/installer/Installers/0/Architecture", "x64"},
            {"/installer/InstallerSwitches",
             {{"Silent", "/quiet"}, {"SilentWithProgress", "/passive"}, {"Log", "/log \"<LOGPATH>\""}}},
            {"/installer/ExpectedReturnCodes", nlohmann::json::parse(R"([
                {"InstallerReturnCode": 2, "ReturnResponse": "packageInUse"},
                {"InstallerReturnCode": 1618, "ReturnResponse": "installInProgress"},
                {"InstallerReturnCode": 3010, "ReturnResponse": "rebootRequiredToFinish"}])")},
            {"/installer/UnsupportedArguments", {"location"}},
            {"/installer/ProductCode", "QuroHost"},
            {"/installer/AppsAndFeaturesEntries/0/DisplayVersion", c.displayVersion},
            {"/installer/ElevationRequirement", "elevatesSelf"},
        };
        for (const auto& [pointer, value] : expected)
            EXPECT_EQ(doc.value(nlohmann::json::json_pointer(pointer), nlohmann::json()), value) << pointer;
    }
}

// The signing step the README gives (osslsigncode, here with its built-in
// time stamp authority and throw-away certificates): inspect reports what the
// signature signs, who and when, and --require-signed fails a setup that is
// unsigned or altered after signing (a byte of its DOS stub text).
TEST(Release, SignatureIsInTheVerdict)
{
    TempDir dir;
    WriteText(dir / "app/DraloHost.exe", "MZ");
    const std::string setup = MakeSetup(dir, dir / "app", "Setup.exe");
    const RunResult signing = RunTool(
        {"/bin/sh", "-c",
         "cd \"$0\" && for who in signer:codeSigning tsa:critical,timeStamping; do openssl req -x509 -newkey rsa:2048 "
         "-nodes -keyout ${who%%:*}.key -out ${who%%:*}.pem -days 2 -subj \"/CN=Quro test ${who%%:*}\" -addext "
         "extendedKeyUsage=${who#*:} 2>/dev/null || exit 1; done && sign() { osslsigncode sign -certs signer.pem "
         "-key signer.key \"$@\" -n 'Quro Host Setup' -in Setup.exe -out Signed.exe >/dev/null; } && "
         "{ sign -TSA-certs tsa.pem -TSA-key tsa.key -TSA-time 1800000000 || { touch no-tsa && sign; }; }",
         dir.path()});
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    // An older osslsigncode (Debian 12 has 2.5; the backport 2.9) may lack the built-in authority.
    const std::string stamp = fs::exists(dir / "no-tsa") ? "no time stamp" : "time stamp 2027-01-15 08:00:00 UTC";
    Bytes tampered = ReadBytes(dir / "Signed.exe");
    tampered[0x4E + 10] ^= 0x20;  // "This program cannot be run in DOS mode"
    WriteBytes(dir / "Tampered.exe", tampered);
    struct Case {
        std::string file;
        bool signedIntact;
        std::string line;  // expected part of the signature line
    };
    // clang-format off
    const Case cases[] = {
        {setup, false, "signature        none\n"},
        {dir / "Signed.exe", true, "the signed digest matches the file; signer CN=Quro test signer; " + stamp},
        {dir / "Tampered.exe", false, "the signed digest does not match the file (altered after signing)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const RunResult r = RunTool({QURO_PACK_EXE, "inspect", "--require-signed", c.file});
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(r.exitCode, c.signedIntact ? 0 : 1) << r.err;
        const nlohmann::json doc = nlohmann::json::parse(RunTool({QURO_PACK_EXE, "inspect", "--json", c.file}).out);
        EXPECT_EQ(!doc["signature"].is_null() && doc["signature"]["digestMatches"] == true, c.signedIntact);
    }
}
