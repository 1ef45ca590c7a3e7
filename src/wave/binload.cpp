#include "wave/binload.h"

#include <cstdio>
#include <new>

#include "messages.h"
#include "wave/file.h"

bool alloc_block(Block *block, std::size_t n)
{
    block->data.reset(new (std::nothrow) unsigned char[n == 0 ? 1 : n]());
    block->size = block->data ? n : 0;
    block->loaded = 0;
    return block->data != nullptr;
}

static Load load_failed(std::FILE *f, const char *message)
{
    std::fputs(message, stdout);
    file_close(f);
    return Load::failed;
}

static Load load_error(std::FILE *f, const char *op, const char *path)
{
    std::printf(msg::file_failed, op, path);
    file_close(f);
    return Load::error;
}

Load binload(const char *path, std::int32_t extra, Block *block)
{
    *block = Block{};
    std::FILE *f = file_open(path, "rb");
    if (!f)
        return Load::unopened;
    std::int64_t length = 0;
    if (!file_length(f, &length))
        return load_error(f, "size", path);
    if (!file_seek(f, 0))
        return load_error(f, "seek", path);
    if (extra < 0 || length > max_file_bytes - extra)
        return load_failed(f, msg::large_binload);
    Block loaded;
    const auto bytes = static_cast<std::size_t>(length);
    loaded.size = bytes + static_cast<std::size_t>(extra);
    // Not zeroed: the read fills the file's bytes, and nothing reads the extra ones
    // before their owner writes them.
    loaded.data.reset(new (std::nothrow) unsigned char[loaded.size == 0 ? 1 : loaded.size]);
    if (!loaded.data)
        return load_failed(f, msg::malloc_binload);
    if (length == 0)
        return load_failed(f, msg::read_binload);
    if (!file_read(f, loaded.data.get(), bytes))
        return load_error(f, "read", path);
    file_close(f); // read-only: nothing a failed close could lose
    loaded.loaded = bytes;
    *block = std::move(loaded);
    return Load::ok;
}
