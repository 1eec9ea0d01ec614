// What the setup program relies on about the application it installs: its
// file and process names, its clean-up argument, its data folders and the
// name of its autostart value. Every other part takes them from here.
#pragma once

namespace quro {

// The main executable, directly in the install folder.
inline constexpr const wchar_t kMainExecutableName[] = L"DraloHost.exe";
// The image names of the hosted processes; compared without regard to case.
inline constexpr const wchar_t kHostedProcessNames[2][16] = {L"DraloHost.exe", L"Holvenar.exe"};
// Before removal deletes anything, the main executable gets this argument to
// clean up after itself; it ends by itself.
inline constexpr const wchar_t kCleanupArgument[] = L"--screen-remove";
// The per-user Run value the hosted application may have made.
inline constexpr const wchar_t kAutostartValueName[] = L"Dralo Host";

// The data folders: the user's paired devices, password and settings.
// Suffixes of the known folders ProgramData and LocalAppData.
inline constexpr const wchar_t kProgramDataFolder[] = L"\\DraloSecure";
inline constexpr const wchar_t kLocalDataFolders[3][24] = {L"\\DraloHostTrial", L"\\DraloSecure",
                                                           L"\\DraloTransferSecure"};
// The language file lies in the first local data folder, so removing the
// user's data also forgets the language.
inline constexpr const wchar_t kLanguageFileSuffix[] = L"\\DraloHostTrial\\language.txt";

}  // namespace quro
