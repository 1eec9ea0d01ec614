// The product's fixed names, used by registration and by the texts that
// carry the version.
#pragma once

inline constexpr const wchar_t kProductName[] = L"Quro Host";
inline constexpr const wchar_t kPublisher[] = L"Quro";
// The same text stands as ProductVersion in the version resource (0.76.0.0).
inline constexpr const wchar_t kProductVersion[] = L"0J.76";
