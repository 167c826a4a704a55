// A survey's identity is a SHA-256 computed by the system's crypto library
// (CSurveyArchive::ContentHash), which is not linked: the functions below
// load it when a hash is first asked for. Linked, it was the largest library
// every start of the command line loaded (some 21 000 relocations), for the
// archive commands alone. A function the hash starts to use is one more line
// here. This file is compiled with hidden symbols, so that these stand-ins
// serve the archive's own calls only, never another library's.
#include "core/LateBinding.h"

#include <openssl/evp.h>

namespace
{
const char kCrypto[] = "libcrypto.so.3";
} // namespace

extern "C"
{
    EVP_MD* EVP_MD_fetch(OSSL_LIB_CTX* ctx, const char* algorithm, const char* properties)
    {
        KV_FORWARD(kCrypto, EVP_MD_fetch, ctx, algorithm, properties);
    }
    EVP_MD_CTX* EVP_MD_CTX_new(void)
    {
        KV_FORWARD(kCrypto, EVP_MD_CTX_new);
    }
    void EVP_MD_CTX_free(EVP_MD_CTX* ctx)
    {
        KV_FORWARD(kCrypto, EVP_MD_CTX_free, ctx);
    }
    int EVP_DigestInit_ex(EVP_MD_CTX* ctx, const EVP_MD* type, ENGINE* impl)
    {
        KV_FORWARD(kCrypto, EVP_DigestInit_ex, ctx, type, impl);
    }
    int EVP_DigestUpdate(EVP_MD_CTX* ctx, const void* d, size_t cnt)
    {
        KV_FORWARD(kCrypto, EVP_DigestUpdate, ctx, d, cnt);
    }
    int EVP_DigestFinal_ex(EVP_MD_CTX* ctx, unsigned char* md, unsigned int* s)
    {
        KV_FORWARD(kCrypto, EVP_DigestFinal_ex, ctx, md, s);
    }
}
