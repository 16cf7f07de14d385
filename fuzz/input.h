// Reading a fuzz input as a few fields: single bytes, NUL-ended texts, sized blocks.
// Past the end every read gives zeros or nothing, so any input makes a case.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

struct FuzzInput {
    const uint8_t *data;
    size_t size;

    unsigned Byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }

    unsigned Word()
    {
        unsigned low = Byte();
        return low | (Byte() << 8);
    }

    // Up to `n` bytes.
    std::string Take(size_t n)
    {
        if (n > size)
            n = size;
        std::string s((const char *)data, n);
        data += n;
        size -= n;
        return s;
    }

    // The bytes up to the next NUL, which is passed over, or to the end.
    std::string Text()
    {
        size_t n = 0;
        while (n < size && data[n] != 0)
            ++n;
        std::string s = Take(n);
        Byte();
        return s;
    }

    std::string Rest() { return Take(size); }
};
