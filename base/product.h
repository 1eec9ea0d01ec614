// The product's fixed names, used by registration and by the texts that
// carry the version.
#pragma once

#include "base/version.h"

namespace quro {

inline constexpr const wchar_t kProductName[] = L"Quro Host";
inline constexpr const wchar_t kPublisher[] = L"Quro";
// ProductVersion of the version resource is the same definition.
inline constexpr const wchar_t kProductVersion[] = L"" QURO_PRODUCT_VERSION;

}  // namespace quro
