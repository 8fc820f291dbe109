#include "archive.h"

#include <QIODevice>

#include <cstring>

namespace {
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
}

CArchive::CArchive(QByteArray* out) : m_out(out) {}

CArchive::CArchive(QIODevice* device) : m_out(&m_block), m_device(device)
{
    m_block.reserve(kDeviceBlock + 64);
}

bool CArchive::Flush()
{
    if (!m_device)
        return true;
    if (!m_deviceFailed && !m_block.isEmpty() && m_device->write(m_block) != m_block.size())
        m_deviceFailed = true;
    m_block.resize(0); // keeps the capacity
    return !m_deviceFailed;
}

CArchive::CArchive(const QByteArray& in) : m_in(in) {}

void CArchive::WriteU8(uint8_t v)
{
    m_out->append(char(v));
    Spill();
}

void CArchive::WriteU16(uint16_t v)
{
    WriteU8(uint8_t(v));
    WriteU8(uint8_t(v >> 8));
}

void CArchive::WriteU32(uint32_t v)
{
    WriteU16(uint16_t(v));
    WriteU16(uint16_t(v >> 16));
}

void CArchive::WriteCount(uint32_t n)
{
    if (n < 0xFFFF) {
        WriteU16(uint16_t(n));
    } else {
        WriteU16(0xFFFF);
        WriteU32(n);
    }
}

void CArchive::WriteString(const QString& s)
{
    WriteRawString(s.toLatin1());
}

void CArchive::WriteRawString(const QByteArray& s)
{
    const auto n = uint32_t(s.size());
    if (n < 0xFF) {
        WriteU8(uint8_t(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(uint16_t(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(n);
    }
    m_out->append(s);
    Spill();
}

void CArchive::WriteObjectTag(const char* className, uint16_t schema)
{
    if (m_classWritten) {
        WriteU16(kClassTag | 1);
        return;
    }
    const auto len = uint16_t(std::strlen(className));
    WriteU16(kNewClassTag);
    WriteU16(schema);
    WriteU16(len);
    m_out->append(className, len);
    m_classWritten = true;
    Spill();
}

void CArchive::Need(qsizetype bytes, const char* what) const
{
    if (bytes < 0 || Remaining() < bytes)
        throw CArchiveException(std::string("the file ends early (reading ") + what + ")");
}

uint8_t CArchive::ReadU8()
{
    Need(1, "a byte");
    return uint8_t(m_in[m_pos++]);
}

uint16_t CArchive::ReadU16()
{
    Need(2, "a word");
    const auto* p = reinterpret_cast<const uint8_t*>(m_in.constData() + m_pos);
    m_pos += 2;
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t CArchive::ReadU32()
{
    Need(4, "a double word");
    const auto* p = reinterpret_cast<const uint8_t*>(m_in.constData() + m_pos);
    m_pos += 4;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint32_t CArchive::ReadCount()
{
    const uint16_t n = ReadU16();
    return n != 0xFFFF ? n : ReadU32();
}

QString CArchive::ReadString()
{
    return QString::fromLatin1(ReadRawString());
}

QByteArray CArchive::ReadRawString()
{
    uint32_t n = ReadU8();
    if (n == 0xFF) {
        n = ReadU16();
        if (n == 0xFFFE)
            throw CArchiveException("a wide-character string, which Kadenzo files never hold");
        if (n == 0xFFFF)
            n = ReadU32();
    }
    Need(qsizetype(n), "a string");
    QByteArray s = m_in.mid(m_pos, qsizetype(n));
    m_pos += qsizetype(n);
    return s;
}

void CArchive::ReadObjectTag(const char* className, uint16_t schema)
{
    const uint16_t tag = ReadU16();
    if (tag == kNewClassTag) {
        if (m_classRead)
            throw CArchiveException("a second class record for the same class");
        const uint16_t fileSchema = ReadU16();
        const uint16_t len = ReadU16();
        Need(len, "a class name");
        const QByteArray name = m_in.mid(m_pos, len);
        m_pos += len;
        if (name != QByteArray(className))
            throw CArchiveException("an unknown class \"" + name.left(64).toStdString() + "\"");
        if (fileSchema != schema)
            throw CArchiveException("a " + std::string(className) + " record of schema " + std::to_string(fileSchema)
                                    + " (expected " + std::to_string(schema) + ")");
        m_classRead = true;
        return;
    }
    if (tag == (kClassTag | 1) && m_classRead)
        return;
    if (tag == kBigObjectTag || !(tag & kClassTag))
        throw CArchiveException("a reference to an earlier object where a new object was expected");
    throw CArchiveException("an unknown class reference " + std::to_string(tag));
}
