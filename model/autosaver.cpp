#include "autosaver.h"

#include "report.h"
#include "rondeldoc.h"
#include "safefile.h"
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {
const QString kCopyExt = QStringLiteral(".kdz");
const QString kInfoExt = QStringLiteral(".json");

bool ProcessIsRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (pid == qint64(::getpid()))
        return true;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}
}

CAutosaver::CAutosaver(DocumentList documents, QObject* parent) : QObject(parent), m_documents(std::move(documents))
{
    connect(&m_timer, &QTimer::timeout, this, [this] { SaveNow(); });
    SetIntervalMinutes(kDefaultMinutes);
}

CAutosaver::~CAutosaver() = default;

void CAutosaver::SetIntervalMinutes(int minutes)
{
    if (minutes <= 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(std::min(minutes, 24 * 60) * 60 * 1000);
}

int CAutosaver::MinutesFromSettings()
{
    bool ok = false;
    const int minutes = SettingsStore::Read(QStringLiteral("autosave minutes")).trimmed().toInt(&ok);
    return ok ? minutes : kDefaultMinutes;
}

QString CAutosaver::Folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/autosave");
}

int CAutosaver::SaveNow()
{
    const std::vector<CRondelDoc*> documents = m_documents ? m_documents() : std::vector<CRondelDoc*>{};
    // Copies of documents that were closed, or saved since: the user's file holds the song.
    for (auto it = m_copies.begin(); it != m_copies.end();) {
        const bool open = std::find(documents.begin(), documents.end(), it->first) != documents.end();
        if (open && it->first->IsModified()) {
            ++it;
            continue;
        }
        Remove(it->second);
        it = m_copies.erase(it);
    }
    int written = 0;
    for (CRondelDoc* doc : documents) {
        if (!doc || !doc->IsModified())
            continue;
        const QByteArray bytes = doc->SaveBytes();
        const size_t hash = qHash(bytes);
        auto it = m_copies.find(doc);
        if (it != m_copies.end() && it->second.m_hash == hash)
            continue;
        if (it == m_copies.end()) {
            SCopy copy;
            copy.m_base = Folder() + QStringLiteral("/%1-%2").arg(::getpid()).arg(m_next++);
            it = m_copies.emplace(doc, copy).first;
        }
        QJsonObject info;
        info[QStringLiteral("pid")] = qint64(::getpid());
        info[QStringLiteral("path")] = doc->m_pathName;
        info[QStringLiteral("title")] = doc->m_title;
        info[QStringLiteral("saved")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        QString error;
        QDir().mkpath(Folder());
        // The song first: a copy without its description is never listed.
        if (!WriteFileAtomically(it->second.m_base + kCopyExt, bytes, &error) ||
            !WriteFileAtomically(it->second.m_base + kInfoExt, QJsonDocument(info).toJson(), &error)) {
            if (!m_failureReported)
                UserReport().Error(QStringLiteral("Autosave failed. %1").arg(error));
            m_failureReported = true;
            continue;
        }
        it->second.m_hash = hash;
        ++written;
    }
    return written;
}

void CAutosaver::Remove(const SCopy& copy)
{
    QFile::remove(copy.m_base + kInfoExt);
    QFile::remove(copy.m_base + kCopyExt);
}

void CAutosaver::RemoveAll()
{
    for (const auto& [doc, copy] : m_copies)
        Remove(copy);
    m_copies.clear();
}

std::vector<SAutosaveEntry> CAutosaver::RecoveryList()
{
    std::vector<SAutosaveEntry> entries;
    const QDir dir(Folder());
    for (const QFileInfo& infoFile : dir.entryInfoList({QStringLiteral("*") + kInfoExt}, QDir::Files)) {
        QFile f(infoFile.filePath());
        if (infoFile.size() > 64 * 1024 || !f.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject info = QJsonDocument::fromJson(f.readAll()).object();
        const QString copy = infoFile.path() + QLatin1Char('/') + infoFile.completeBaseName() + kCopyExt;
        if (info.isEmpty() || !QFileInfo(copy).isFile() || ProcessIsRunning(info[QStringLiteral("pid")].toInteger()))
            continue;
        SAutosaveEntry e;
        e.m_copyPath = copy;
        e.m_originalPath = info[QStringLiteral("path")].toString();
        e.m_title = info[QStringLiteral("title")].toString();
        e.m_savedAt = QDateTime::fromString(info[QStringLiteral("saved")].toString(), Qt::ISODate);
        entries.push_back(e);
    }
    std::sort(entries.begin(), entries.end(),
              [](const SAutosaveEntry& a, const SAutosaveEntry& b) { return a.m_savedAt > b.m_savedAt; });
    return entries;
}

bool CAutosaver::Recover(const SAutosaveEntry& entry, CRondelDoc& doc, QString* error)
{
    if (!doc.OnOpenDocument(entry.m_copyPath, error))
        return false;
    doc.m_pathName = entry.m_originalPath;
    doc.m_title = entry.m_title.isEmpty() && !entry.m_originalPath.isEmpty() ? QFileInfo(entry.m_originalPath).fileName()
                                                                            : entry.m_title;
    doc.SetModifiedFlag(true);
    Discard(entry);
    return true;
}

void CAutosaver::Discard(const SAutosaveEntry& entry)
{
    QFile::remove(entry.m_copyPath.chopped(kCopyExt.size()) + kInfoExt);
    QFile::remove(entry.m_copyPath);
}
