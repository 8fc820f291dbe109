#pragma once
// Writing a file so that a failed write never costs the user the old one. The bytes go to a
// temporary file beside the target; every write is checked (a short write is a failure, not
// a count to be ignored), the buffered tail is flushed and checked, and only then is the
// temporary file renamed over the target. QSaveFile alone does not do this: its write()
// buffers, a disk that fills up shows only at flush(), and commit() then succeeds.
//
// CSafeFile is a QIODevice, so writers that take a device (QImage::save, QPdfWriter) write
// through the same checks.

#include <QIODevice>
#include <QSaveFile>
#include <QString>

class CSafeFile : public QIODevice
{
public:
    explicit CSafeFile(const QString& path);
    // Throws the temporary file away unless Commit() succeeded.
    ~CSafeFile() override;

    // Opens the temporary file for writing; false with *error set when it cannot be made.
    bool Open(QString* error = nullptr);
    // Flushes, checks and renames the temporary file into place. False with *error set when
    // any write failed; the temporary file is then gone and the target untouched.
    bool Commit(QString* error = nullptr);
    void Cancel();

    bool Failed() const { return m_failed; }
    QString FileName() const { return m_path; }
    // "Cannot write "PATH": REASON" with the system's reason ("No space left on device").
    QString ErrorText() const;

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;
    qint64 size() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void Fail(int savedErrno);

    QString m_path;
    QSaveFile m_file;
    QString m_reason;
    bool m_failed = false;
    bool m_committed = false;
};

// The text every writer reports a failed write with.
QString CannotWriteText(const QString& path, const QString& reason);

// Writes bytes to path through CSafeFile.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error);
