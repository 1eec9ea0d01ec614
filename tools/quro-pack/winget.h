// quro-pack winget: the manifests with which a maker submits a setup to the
// Windows Package Manager's community repository (microsoft/winget-pkgs).
// What the setup program does unattended (its switches, its exit codes, its
// uninstall entry) is fixed by the program and written here; what only the
// maker knows (the download address, the licence, the descriptions) comes
// from the request.
#pragma once

#include <string>
#include <vector>

namespace quro_pack {

// The manifest schema the files declare: the newest that the released
// winget clients and the community repository's validation accept.
inline constexpr char kWingetManifestVersion[] = "1.28.0";

struct WingetRequest {
    std::string setup;   // a setup that inspect finds ok
    std::string output;  // the folder for the three files, made when missing
    std::string installerUrl;
    std::string identifier = "Quro.QuroHost";
    // Empty: the license and short description get a placeholder, the URLs
    // are left out; either is a warning.
    std::string license;
    std::string shortDescription;
    std::string publisherUrl;
    std::string licenseUrl;
    // Empty: left out, without a warning.
    std::string description;
    std::string supportUrl;
    bool strict = false;  // the warnings fail the command; nothing is written
};

struct WingetReport {
    std::string packageVersion;  // "0.76.0.0"
    // The three names, in the order version, default locale, installer.
    std::vector<std::string> files;
    // Where winget-pkgs keeps them: manifests/q/Quro/QuroHost/0.76.0.0
    std::string repositoryFolder;
    std::vector<std::string> warnings;  // each placeholder the maker left
};

// Checks everything first (the setup as inspect does, the request's values
// against the schema's rules), then writes the three files into the output
// folder, each whole under a temporary name before it is renamed over any
// earlier file of its name. Throws Failure.
WingetReport WriteWingetManifests(const WingetRequest& request);

}  // namespace quro_pack
