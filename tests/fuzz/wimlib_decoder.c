/* wimlib's decompression API for LZMS on top of its vendored decoder, so
 * that the fuzz targets decode chunks in code the sanitizers instrument.
 * Linked before the system library, these definitions are the ones taken. */
#define _POSIX_C_SOURCE 200112L
#include <stdlib.h>

#include "wimlib.h"
#include "wimlib/cpu_features.h"
#include "wimlib/decompressor_ops.h"
#include "wimlib/util.h"

/* wimlib's feature probe is not among the vendored files: the portable
 * paths, which is all the sanitizers need to see. */
u32 cpu_features = 0;

/* And its allocator's aligned blocks, which the decoder's tables take. */
void* wimlib_aligned_malloc(size_t size, size_t alignment)
{
    void* block;

    if (posix_memalign(&block, alignment < sizeof(void*) ? sizeof(void*) : alignment, size) != 0) return NULL;
    return block;
}

void wimlib_aligned_free(void* ptr) { free(ptr); }

struct wimlib_decompressor {
    void* lzms;
};

int wimlib_create_decompressor(enum wimlib_compression_type ctype, size_t max_block_size,
                               struct wimlib_decompressor** decompressor_ret)
{
    struct wimlib_decompressor* d;
    int ret;

    if (ctype != WIMLIB_COMPRESSION_TYPE_LZMS) return WIMLIB_ERR_INVALID_COMPRESSION_TYPE;
    d = malloc(sizeof *d);
    if (!d) return WIMLIB_ERR_NOMEM;
    ret = lzms_decompressor_ops.create_decompressor(max_block_size, &d->lzms);
    if (ret) {
        free(d);
        return ret;
    }
    *decompressor_ret = d;
    return 0;
}

int wimlib_decompress(const void* compressed_data, size_t compressed_size, void* uncompressed_data,
                      size_t uncompressed_size, struct wimlib_decompressor* decompressor)
{
    return lzms_decompressor_ops.decompress(compressed_data, compressed_size, uncompressed_data, uncompressed_size,
                                            decompressor->lzms);
}

void wimlib_free_decompressor(struct wimlib_decompressor* decompressor)
{
    if (!decompressor) return;
    lzms_decompressor_ops.free_decompressor(decompressor->lzms);
    free(decompressor);
}
