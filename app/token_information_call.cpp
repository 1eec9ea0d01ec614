#include "app/token_information_call.h"

namespace quro {

BOOL TokenInformationCall(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD length, DWORD* returned)
{
    return ::GetTokenInformation(token, kind, information, length, returned);
}

}  // namespace quro
