#pragma once

// Stand-ins for the functions of a library the program does not link: each
// finds its function in the library when first called (loading it then, or
// finding the copy already loaded) and calls it. A library that cannot be
// found at that point is a broken installation: said on stderr, then abort.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace LateBinding
{
template <typename Function> Function Find(const char* library, const char* name)
{
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void* symbol = handle ? dlsym(handle, name) : nullptr;
    if (!symbol)
    {
        std::fprintf(stderr, "%s\n", dlerror());
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}
} // namespace LateBinding

// The body of a stand-in: found once, then called.
#define KV_FORWARD(library, function, ...)                                                         \
    static const auto forward = LateBinding::Find<decltype(&function)>(library, #function);        \
    return forward(__VA_ARGS__)
