// One raw LZMS block (one chunk of a Compression API buffer) at a time, with
// wimlib's decoder. 0 on success; LzmsDecode fills out_size bytes or fails.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

int LzmsCreateDecoder(size_t maxChunkSize, void** decoder);
int LzmsDecode(const void* chunk, size_t chunkSize, void* out, size_t outSize, void* decoder);
void LzmsFreeDecoder(void* decoder);

#ifdef __cplusplus
}
#endif
