#include "winget.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "base/product.h"
#include "common.h"
#include "file_io.h"
#include "pe_resources.h"
#include "sha256.h"
#include "utf8.h"
#include "verdict.h"
#include "windows_paths.h"

namespace quro_pack {
namespace {

// The name of the setup program's uninstall key below
// HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall (install/registration.h):
// winget matches an installed program to its package by it.
constexpr char kUninstallKeyName[] = "QuroHost";
constexpr char kLocale[] = "en-US";
// The program is built for Windows 10 and declares no older system in its
// application manifest.
constexpr char kMinimumOsVersion[] = "10.0.0.0";

std::size_t Characters(const std::string& text)
{
    return Utf8ToCodePoints(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()).size();
}

void CheckUtf8(const char* option, const std::string& value)
{
    if (!IsValidUtf8(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()))
        throw Failure(std::string(option) + ": not UTF-8 text");
}

void CheckText(const char* option, const std::string& value, std::size_t least, std::size_t most)
{
    CheckUtf8(option, value);
    const std::size_t n = Characters(value);
    if (n < least || n > most)
        throw Failure(std::string(option) + ": " + std::to_string(n) + " characters; winget takes " +
                      std::to_string(least) + " to " + std::to_string(most));
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix)
{
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if ((text[i] | 0x20) != prefix[i]) return false;
    return true;
}

// http or https, and nothing a URL cannot hold as it is: the schema's
// pattern takes any character after the scheme, but a space or a line
// break would reach winget's download unescaped.
void CheckUrl(const char* option, const std::string& url)
{
    CheckText(option, url, 1, 2048);
    const bool scheme = StartsWithNoCase(url, "https://") || StartsWithNoCase(url, "http://");
    if (!scheme || url.find("://") + 3 == url.size())
        throw Failure(std::string(option) + ": not an http or https URL: " + url);
    for (const unsigned char c : url)
        if (c <= 0x20 || c == 0x7F)
            throw Failure(std::string(option) + ": a URL holds no spaces or control characters");
}

// Two to eight parts joined by dots, of 1 to 32 characters each, none of
// them a space or a character that Windows or a URL path refuses: the parts
// name the files and the folders of winget-pkgs.
void CheckIdentifier(const std::string& id)
{
    CheckText("--id", id, 1, 128);
    std::size_t dots = 0;
    for (std::size_t start = 0;; ++dots) {
        const std::size_t dot = id.find('.', start);
        const std::string part = id.substr(start, dot - start);
        const std::size_t n = Characters(part);
        bool refused = n < 1 || n > 32;
        for (const unsigned char c : part)
            refused |= c < 0x20 || std::string_view(" \t\\/:*?\"<>|").find(char(c)) != std::string_view::npos;
        if (refused)
            throw Failure("--id: " + id +
                          ": parts of 1 to 32 characters without spaces or \\ / : * ? \" < > |, joined by dots");
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (dots < 1 || dots > 7) throw Failure("--id: " + id + ": two to eight parts, such as Quro.QuroHost");
}

// Whether a YAML 1.1 or 1.2 reader takes text written bare as this string:
// it starts with a letter, a digit or a slash, holds no ": " or " #" (a key,
// a comment) and no quotes, brackets or control characters, and reads as no
// true, false, null, number or date. Anything else is quoted.
bool PlainIsSafe(const std::string& text)
{
    if (text.empty() || text.back() == ' ' || text.back() == ':') return false;
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (!(std::isalnum(first) || first == '/')) return false;
    if (text.find(": ") != std::string::npos || text.find(" #") != std::string::npos) return false;
    bool letters = false, numeric = true;
    for (const unsigned char c : text) {
        const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && std::string_view(" ._-/()+,:#?=&%~@!*$;").find(char(c)) == std::string_view::npos)
            return false;
        letters |= letter;
        numeric &= digit || std::string_view(".eE+-").find(char(c)) != std::string_view::npos;
    }
    if (!letters) {
        // A version of three or more parts is no number, no date and no
        // base-60 number.
        std::size_t dots = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '.') continue;
            if (i == 0 || i + 1 == text.size() || text[i + 1] == '.' || text[i - 1] == '.') return false;
            ++dots;
        }
        return dots >= 2 && text.find_first_not_of("0123456789.") == std::string::npos;
    }
    std::string lower;
    for (const char c : text) lower.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    for (const char* word : {"y", "n", "yes", "no", "true", "false", "on", "off", "null"})
        if (lower == word) return false;
    const bool radix =
        lower.size() > 2 && lower[0] == '0' && std::string_view("xob").find(lower[1]) != std::string_view::npos;
    const bool date = lower.size() > 4 && lower.find_first_not_of("0123456789") == 4 && lower[4] == '-';
    return !numeric && !radix && !date;
}

// One scalar as a YAML value: bare when that reads back the same, else in
// single quotes, else (control characters and line breaks, which single
// quotes cannot hold) in double quotes with escapes. text is UTF-8.
std::string Scalar(const std::string& text)
{
    if (PlainIsSafe(text)) return text;
    const std::u32string points = Utf8ToCodePoints(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const auto escaped = [](char32_t c) {
        return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFEFF;
    };
    bool plainQuotes = true;
    for (const char32_t c : points) plainQuotes &= !escaped(c);
    std::string out;
    if (plainQuotes) {
        out = "'";
        for (const char c : text) out += c == '\'' ? "''" : std::string(1, c);
        return out + "'";
    }
    out = "\"";
    std::size_t at = 0;  // the bytes of each code point follow its lead byte
    for (const char32_t c : points) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char hex[12];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (escaped(c)) {
            std::snprintf(hex, sizeof hex, c < 0x100 ? "\\x%02X" : "\\u%04X", unsigned(c));
            out += hex;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out + "\"";
}

// A manifest file: the schema line editors read, then one key a line.
struct Document {
    std::string text;

    explicit Document(const char* kind)
    {
        text = std::string("# yaml-language-server: $schema=https://aka.ms/winget-manifest.") + kind + "." +
               kWingetManifestVersion + ".schema.json\n\n";
    }
    Document& Field(const std::string& key, const std::string& value, int indent = 0)
    {
        if (!value.empty()) text += std::string(std::size_t(indent), ' ') + key + ": " + Scalar(value) + "\n";
        return *this;
    }
    Document& Line(const std::string& line)
    {
        text += line + "\n";
        return *this;
    }
};

// The output folder, made level by level when missing and then held open:
// each file is written under a temporary name inside it and renamed over
// its name once all three are whole. The folder the user named is taken as
// it is, links and all; the names inside it are never followed.
class ManifestFolder {
public:
    explicit ManifestFolder(const std::string& path) : path_(path)
    {
        for (std::size_t p = path.find('/', 1);; p = path.find('/', p + 1)) {
            const std::string level = path.substr(0, p);
            if (!level.empty() && level.back() != '/' && ::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST)
                throw Failure(level + ": " + ErrnoText(errno));
            if (p == std::string::npos) break;
        }
        dir_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir_) throw Failure(path + ": " + ErrnoText(errno));
    }
    ~ManifestFolder()
    {
        for (const auto& [temporary, name] : staged_) ::unlinkat(dir_.get(), temporary.c_str(), 0);
    }
    ManifestFolder(const ManifestFolder&) = delete;
    ManifestFolder& operator=(const ManifestFolder&) = delete;

    void Stage(const std::string& name, const std::string& text)
    {
        const std::string temporary = "." + name + ".quro-pack-" + std::to_string(::getpid());
        UniqueFd file(
            ::openat(dir_.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!file) throw Failure(path_ + "/" + temporary + ": " + ErrnoText(errno));
        staged_.emplace_back(temporary, name);
        if (!WriteAll(file.get(), reinterpret_cast<const std::uint8_t*>(text.data()), text.size()) || !file.Close())
            throw Failure(path_ + "/" + temporary + ": " + ErrnoText(errno));
    }
    void Commit()
    {
        while (!staged_.empty()) {
            const auto& [temporary, name] = staged_.front();
            if (::renameat(dir_.get(), temporary.c_str(), dir_.get(), name.c_str()) != 0)
                throw Failure(path_ + "/" + name + ": " + ErrnoText(errno));
            staged_.erase(staged_.begin());
        }
    }

private:
    std::string path_;
    UniqueFd dir_;
    std::vector<std::pair<std::string, std::string>> staged_;  // temporary name, final name
};

std::string Architecture(const Inspection& setup)
{
    const std::uint8_t* file = setup.file.data();
    const std::uint16_t machine = ReadLe16(file + pe::ReadImage(file, setup.file.size(), setup.path).coffHeader);
    switch (machine) {
    case 0x8664:
        return "x64";
    case 0xAA64:
        return "arm64";
    case 0x014C:
        return "x86";
    default:
        throw Failure(setup.path + ": a program for a processor winget does not name (machine " +
                      std::to_string(machine) + ")");
    }
}

std::string UpperHex(const std::uint8_t* data, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[data[i] >> 4];
        hex += kDigits[data[i] & 15];
    }
    return hex;
}

}  // namespace

WingetReport WriteWingetManifests(const WingetRequest& r)
{
    if (r.setup.empty()) throw Failure("the setup is an empty path");
    if (r.output.empty()) throw Failure("the output is an empty path");
    CheckIdentifier(r.identifier);
    CheckUrl("--url", r.installerUrl);
    const std::pair<const char*, const std::string*> urls[] = {
        {"--publisher-url", &r.publisherUrl}, {"--license-url", &r.licenseUrl}, {"--support-url", &r.supportUrl}};
    for (const auto& [option, url] : urls)
        if (!url->empty()) CheckUrl(option, *url);
    if (!r.license.empty()) CheckText("--license", r.license, 3, 512);
    if (!r.shortDescription.empty()) CheckText("--short-description", r.shortDescription, 3, 256);
    if (!r.description.empty()) CheckText("--description", r.description, 3, 10000);

    // winget runs the setup itself, so a package resource alone is no
    // installer, and a setup that /verify or the install would refuse must
    // not reach the repository.
    const Inspection setup(r.setup);
    if (!setup.facts.executable)
        throw Failure(r.setup + ": a package resource, not a setup; give the setup that quro-pack setup wrote");
    if (!setup.ok()) throw Failure(r.setup + ": " + setup.Verdict());
    const SetupVersion& version = *setup.facts.version;  // ok() holds a product setup's version

    WingetReport report;
    const auto placeholder = [&](const std::string& value, const char* option, const char* field) {
        if (!value.empty()) return value;
        report.warnings.push_back(std::string(option) + " not given: " + field + " is a placeholder");
        return "<" + std::string(field) + ": set with " + option + ">";
    };
    const auto leftOut = [&](const std::string& value, const char* option, const char* field) {
        if (value.empty()) report.warnings.push_back(std::string(option) + " not given: the manifest has no " + field);
    };
    const std::string license = placeholder(r.license, "--license", "License");
    const std::string shortDescription = placeholder(r.shortDescription, "--short-description", "ShortDescription");
    leftOut(r.publisherUrl, "--publisher-url", "PublisherUrl");
    leftOut(r.licenseUrl, "--license-url", "LicenseUrl");
    if (r.strict && !report.warnings.empty()) throw Failure(StrictRefusal(report.warnings.size()), report.warnings);

    // winget orders versions part by part, the number first and then the
    // text after it, and ranks a part with text below the bare number as a
    // pre-release: the product version's letters ("0J.76") would order
    // releases by the alphabet. The file version is numbers only and grows
    // with every release; AppsAndFeaturesEntries maps the product version
    // that the list of installed programs shows back to it.
    report.packageVersion = version.fileVersion;
    const std::string& id = r.identifier;
    const std::string publisher = Narrow(quro::kPublisher), name = Narrow(quro::kProductName);
    std::uint8_t digest[32];
    Sha256(setup.file.data(), setup.file.size(), digest);

    Document versionFile("version");
    versionFile.Field("PackageIdentifier", id)
        .Field("PackageVersion", report.packageVersion)
        .Field("DefaultLocale", kLocale)
        .Field("ManifestType", "version")
        .Field("ManifestVersion", kWingetManifestVersion);

    Document localeFile("defaultlocale");  // the schema's $id spells it so
    localeFile.Field("PackageIdentifier", id)
        .Field("PackageVersion", report.packageVersion)
        .Field("PackageLocale", kLocale)
        .Field("Publisher", publisher)
        .Field("PublisherUrl", r.publisherUrl)
        .Field("PublisherSupportUrl", r.supportUrl)
        .Field("PackageName", name)
        .Field("License", license)
        .Field("LicenseUrl", r.licenseUrl)
        .Field("ShortDescription", shortDescription)
        .Field("Description", r.description)
        .Field("ManifestType", "defaultLocale")
        .Field("ManifestVersion", kWingetManifestVersion);

    // The switches are the setup program's unattended words. winget passes
    // Silent or SilentWithProgress first and appends Log after a space, with
    // <LOGPATH> replaced by the log's path (which may hold spaces): the
    // program takes /quiet or /passive as its first word for an English
    // install and /log FILE after it. Exit code 3010 is no success to winget
    // for an exe unless declared; as rebootRequiredToFinish it counts as done
    // with a restart pending.
    Document installerFile("installer");
    installerFile.Field("PackageIdentifier", id)
        .Field("PackageVersion", report.packageVersion)
        .Field("MinimumOSVersion", kMinimumOsVersion)
        .Field("InstallerType", "exe")
        .Field("Scope", "machine")
        .Line("InstallModes:\n- interactive\n- silent\n- silentWithProgress")
        .Line("InstallerSwitches:")
        .Field("Silent", "/quiet", 2)
        .Field("SilentWithProgress", "/passive", 2)
        .Field("Log", "/log \"<LOGPATH>\"", 2)
        // The program always installs into Program Files\Quro: winget warns
        // that --location is not taken rather than dropping it unsaid.
        .Line("UnsupportedArguments:\n- location")
        .Line("ExpectedReturnCodes:")
        .Line("- InstallerReturnCode: 2")
        .Field("ReturnResponse", "packageInUse", 2)
        .Line("- InstallerReturnCode: 1618")
        .Field("ReturnResponse", "installInProgress", 2)
        .Line("- InstallerReturnCode: 3010")
        .Field("ReturnResponse", "rebootRequiredToFinish", 2)
        .Field("UpgradeBehavior", "install")
        .Field("ProductCode", kUninstallKeyName)
        .Line("AppsAndFeaturesEntries:")
        .Line("- DisplayName: " + Scalar(name))
        .Field("Publisher", publisher, 2)
        // winget-pkgs asks to leave out a DisplayVersion equal to the package's.
        .Field("DisplayVersion", version.productVersion == report.packageVersion ? "" : version.productVersion, 2)
        .Field("ProductCode", kUninstallKeyName, 2)
        .Field("ElevationRequirement", "elevatesSelf")
        .Line("Installers:")
        .Line("- Architecture: " + Architecture(setup))
        .Field("InstallerUrl", r.installerUrl, 2)
        .Field("InstallerSha256", UpperHex(digest, sizeof digest), 2)
        .Field("ManifestType", "installer")
        .Field("ManifestVersion", kWingetManifestVersion);

    report.files = {id + ".yaml", id + ".locale." + kLocale + ".yaml", id + ".installer.yaml"};
    // winget-pkgs files a package under the first letter of its identifier, in lower case.
    const unsigned char first = static_cast<unsigned char>(id[0]);
    std::string letter = id.substr(0, first < 0x80 ? 1 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : 4);
    if (first < 0x80) letter[0] = char(std::tolower(first));
    report.repositoryFolder = "manifests/" + letter;
    for (std::size_t start = 0, dot = 0; dot != std::string::npos; start = dot + 1) {
        dot = id.find('.', start);
        report.repositoryFolder += "/" + id.substr(start, dot - start);
    }
    report.repositoryFolder += "/" + report.packageVersion;

    ManifestFolder folder(r.output);
    folder.Stage(report.files[0], versionFile.text);
    folder.Stage(report.files[1], localeFile.text);
    folder.Stage(report.files[2], installerFile.text);
    folder.Commit();
    return report;
}

}  // namespace quro_pack
