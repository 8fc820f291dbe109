#include "safefile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

CSafeFile::CSafeFile(const QString& path) : m_path(path), m_file(path) {}

CSafeFile::~CSafeFile()
{
    if (!m_committed)
        Cancel();
}

bool CSafeFile::Open(QString* error)
{
    if (QFileInfo(m_path).isDir()) {
        m_failed = true;
        m_reason = QStringLiteral("it is a folder");
    } else if (!m_file.open(QIODevice::WriteOnly)) {
        Fail(errno);
    } else {
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        return true;
    }
    if (error)
        *error = ErrorText();
    return false;
}

qint64 CSafeFile::writeData(const char* data, qint64 size)
{
    if (m_failed || !m_file.isOpen())
        return -1;
    qint64 done = 0;
    while (done < size) {
        errno = 0;
        const qint64 n = m_file.write(data + done, size - done);
        if (n <= 0) {
            // A write that takes nothing without an error has hit the end of the disk; the
            // flush says why.
            const int saved = errno;
            m_file.flush();
            Fail(saved ? saved : errno);
            return -1;
        }
        done += n;
    }
    return size;
}

qint64 CSafeFile::readData(char*, qint64)
{
    return -1;
}

bool CSafeFile::seek(qint64 pos)
{
    if (m_failed || !m_file.seek(pos)) {
        if (!m_failed)
            Fail(errno);
        return false;
    }
    return QIODevice::seek(pos);
}

qint64 CSafeFile::size() const
{
    return m_file.size();
}

void CSafeFile::Fail(int savedErrno)
{
    m_failed = true;
    if (!m_reason.isEmpty())
        return;
    // Qt's own text is "Unknown error" on some short writes; the system's is then better.
    const QString qtText = m_file.error() != QFileDevice::NoError ? m_file.errorString() : QString();
    if (!qtText.isEmpty() && qtText != QLatin1String("Unknown error"))
        m_reason = qtText;
    else if (savedErrno != 0)
        m_reason = QString::fromLocal8Bit(std::strerror(savedErrno));
    else
        m_reason = QStringLiteral("the file could not be written in full");
}

bool CSafeFile::Commit(QString* error)
{
    if (!m_failed && m_file.isOpen()) {
        errno = 0;
        if (!m_file.flush() || m_file.error() != QFileDevice::NoError)
            Fail(errno);
    }
    if (!m_failed) {
        errno = 0;
        if (!m_file.commit())
            Fail(errno);
        else
            m_committed = true;
    }
    QIODevice::close();
    if (m_committed)
        return true;
    Cancel();
    if (error)
        *error = ErrorText();
    return false;
}

void CSafeFile::Cancel()
{
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit(); // after cancelWriting this only removes the temporary file
    }
    if (isOpen())
        QIODevice::close();
}

QString CSafeFile::ErrorText() const
{
    return CannotWriteText(m_path, m_reason);
}

QString CannotWriteText(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot write \"%1\": %2").arg(path, reason);
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    CSafeFile file(path);
    if (!file.Open(error))
        return false;
    file.write(bytes);
    return file.Commit(error);
}
