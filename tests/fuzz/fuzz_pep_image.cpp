// The transducer image decoder on any bytes. One bit of the input repairs the
// checksum, so that mutations reach the field decoding behind it; the decoded
// form is then written back over the image, as the editor's save does.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/CPEPImage.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QByteArray bytes = FuzzBytes(data + 1, size - 1);
    if ((data[0] & 1) && bytes.size() >= CPEPImage::kSize)
    {
        PEPEepromImage image;
        std::memcpy(&image, bytes.constData(), sizeof(image));
        image.crc = CPEPImage::ComputeCrc(image);
        std::memcpy(bytes.data(), &image, sizeof(image));
    }
    CPEPImage::Decoded decoded = CPEPImage::DecodeFile(bytes);
    if (decoded.crcOk)
    {
        QString error;
        PEPEepromImage rebuilt = decoded.image;
        if (CPEPImage::FromForm(decoded.form, &rebuilt, &error))
            CPEPImage::DecodeFile(QByteArray(reinterpret_cast<const char*>(&rebuilt),
                                             CPEPImage::kSize));
    }
    return 0;
}
