#include "framework/ByteString.h"

namespace {

// Length of the valid UTF-8 sequence starting at `s[i]`, or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view s, size_t i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80)
        return 1;
    size_t len = 0;
    char32_t min = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
        cp = b0 & 0x07;
    } else
        return 0;
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF would not survive the round trip.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString FromBytes(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    size_t runStart = 0; // valid UTF-8 is converted a run at a time
    const auto flushRun = [&](size_t end) {
        if (end > runStart)
            text.append(QString::fromUtf8(bytes.data() + runStart, static_cast<qsizetype>(end - runStart)));
    };
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t len = Utf8SequenceLength(bytes, i);
        if (len != 0) {
            i += len;
            continue;
        }
        flushRun(i);
        text.append(QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i]))));
        runStart = ++i;
    }
    flushRun(bytes.size());
    return text;
}

std::string ToBytes(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t u = text.at(i).unicode();
        if (u >= 0xDC80 && u <= 0xDCFF) {
            bytes.push_back(static_cast<char>(u - 0xDC00));
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < text.size()) {
            const char16_t v = text.at(j).unicode();
            if (v >= 0xDC80 && v <= 0xDCFF && !(j > 0 && text.at(j - 1).isHighSurrogate()))
                break;
            ++j;
        }
        const QByteArray utf8 = text.mid(i, j - i).toUtf8();
        bytes.append(utf8.constData(), static_cast<size_t>(utf8.size()));
        i = j;
    }
    return bytes;
}
