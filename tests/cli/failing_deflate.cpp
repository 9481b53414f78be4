// A zlib whose deflate cannot start, as when zlib cannot have the memory for its state. Linked
// into the command-line tool in place of zlib, it shows what --stats does when deflate fails.

#include <zlib.h>

extern "C" {

int deflateInit_(z_streamp, int, const char*, int)
{
    return Z_MEM_ERROR;
}

// What zlib answers for a stream that never started.
int deflate(z_streamp, int)
{
    return Z_STREAM_ERROR;
}

int deflateEnd(z_streamp)
{
    return Z_STREAM_ERROR;
}
}
