// The text file reader on any file bytes: byte-order marks, declared
// encodings, inspection for UTF-8, conversion to the process's UTF-8; with a
// selector bit the bytes also go through a real file and the XML loader.
//
// Input: one selector byte, then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "catalog/xml/text_file.h"
#include "catalog/xml/xml_doc.h"
#include "fuzz/sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static parvola::fuzz::Sandbox sandbox;
    if (size == 0)
        return 0;
    const int selector = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    parvola::codePageOf(std::string_view(bytes).substr(0, 120));
    parvola::declaredEncoding(bytes);
    std::string text, diagnostic;
    int flags = 0;
    parvola::decodeTextBytes(bytes, text, diagnostic, flags);

    if ((selector & 1) != 0) {
        const std::string path = sandbox.inputPath();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            __builtin_trap();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        flags = 0;
        if (!parvola::readTextFile(path, text, diagnostic, flags))
            __builtin_trap();  // the file is there: reading it must work
        parvola::XmlDoc doc;
        doc.loadFile(path);
        if ((selector & 2) != 0) {
            // Written back in the encoding it declares, then read again.
            const std::string out = sandbox.out() + "/again.xml";
            std::string written;
            if (parvola::writeTextFile(out, text, diagnostic, flags, &written)) {
                std::string back;
                int backFlags = 0;
                parvola::readTextFile(out, back, diagnostic, backFlags);
            }
            sandbox.clear();
        }
    }
    return 0;
}
