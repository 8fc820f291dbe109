#pragma once
// Reader and writer of the archive byte format used by ".kdz" files, undo snapshots and the
// clipboard: little-endian words, counts, 8-bit (Latin-1) strings and object records.
//
// Loading never trusts a length: every read checks the bytes that remain first, so a damaged
// file fails with CArchiveException instead of allocating or reading past the end.

#include <QByteArray>
#include <QString>

class QIODevice;

#include <cstdint>
#include <stdexcept>

class CArchiveException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class CArchive
{
public:
    // Storing archive: appends to *out (not owned, must outlive the archive).
    explicit CArchive(QByteArray* out);
    // Storing archive that writes to the open device as it goes, a block at a time, so a
    // big song is never held whole in memory. Call Flush() at the end; a failed write makes
    // Flush() return false and stops further writes.
    explicit CArchive(QIODevice* device);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;
    // Loading archive over a copy of the bytes.
    explicit CArchive(const QByteArray& in);

    bool IsStoring() const { return m_out != nullptr; }
    bool IsLoading() const { return m_out == nullptr; }

    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteCount(uint32_t n);
    // Characters outside Latin-1 are stored as '?'.
    void WriteString(const QString& s);
    void WriteRawString(const QByteArray& s);
    // Writes the record prefix of the next object of class `className`: the full class record
    // the first time, the class reference 0x8001 afterwards. One class per archive.
    void WriteObjectTag(const char* className, uint16_t schema);
    // Writes what a device archive still buffers; false when any write to the device failed.
    // Nothing to do for an archive over a byte array.
    bool Flush();

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    uint32_t ReadCount();
    QString ReadString();
    QByteArray ReadRawString();
    // Reads and checks an object record prefix; throws on a wrong class name, a schema other
    // than `schema`, a null or back-reference to an object, or an unknown class reference.
    void ReadObjectTag(const char* className, uint16_t schema);

    qsizetype Remaining() const { return m_in.size() - m_pos; }
    bool AtEnd() const { return Remaining() == 0; }

    // Load-wide counters of bar texts on bars with and without the new-page bit.
    int m_textsOnNewPageBars = 0;
    int m_textsOnOtherBars = 0;

private:
    void Need(qsizetype bytes, const char* what) const;
    // Hands the buffer to the device once it holds a block.
    void Spill()
    {
        if (m_device && m_out->size() >= kDeviceBlock)
            Flush();
    }

    static constexpr qsizetype kDeviceBlock = 64 * 1024;
    QByteArray* m_out = nullptr;
    QIODevice* m_device = nullptr;
    QByteArray m_block; // the device archive's buffer
    bool m_deviceFailed = false;
    QByteArray m_in;
    qsizetype m_pos = 0;
    bool m_classWritten = false;
    bool m_classRead = false;
};
