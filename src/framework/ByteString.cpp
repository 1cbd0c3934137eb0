#include "framework/ByteString.h"

#include "platform/Bytes.h"

using platform::Utf8SequenceLength;

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
