// wimlib's LZMS decoder as cabinet.cpp calls it. Its header cannot be read
// as C++ (a parameter is named "private"), so the calls go through C.
#include "tests/standin/lzms_decoder.h"

#include "wimlib/decompressor_ops.h"

int LzmsCreateDecoder(size_t maxChunkSize, void** decoder)
{
    return lzms_decompressor_ops.create_decompressor(maxChunkSize, decoder);
}

int LzmsDecode(const void* chunk, size_t chunkSize, void* out, size_t outSize, void* decoder)
{
    return lzms_decompressor_ops.decompress(chunk, chunkSize, out, outSize, decoder);
}

void LzmsFreeDecoder(void* decoder) { lzms_decompressor_ops.free_decompressor(decoder); }
