#pragma once
// kadenzo-cli commands. Each takes its own arguments (after the command name) and returns
// the exit code: 0 done, 1 failed (message on stderr), 2 usage error.

#include <QJsonObject>
#include <QStringList>

#include <functional>

class CRondelDoc;

struct SCommand
{
    const char* name;
    const char* usage;
    std::function<int(const QStringList& args)> run;
};

// Every command, sorted by name for `kadenzo-cli --help`.
const std::vector<SCommand>& Commands();

// Each cmd_*.cpp registers its commands with a static registrar:
//   static CCommandRegistrar s_dump{"dump", "dump FILE   ...", CmdDump};
// Layers that extend other commands (dump sections, convert targets and options) do it from
// a registrar's hook, which runs once before any command.
struct CCommandRegistrar
{
    CCommandRegistrar(const char* name, const char* usage, std::function<int(const QStringList&)> run);
    explicit CCommandRegistrar(std::function<void()> setupHook);
};
// Runs the setup hooks (once).
void RunCommandSetupHooks();

// kadenzo-cli itself runs the commands that need only the core; the command lines that draw,
// print or play it hands over unchanged to kadenzo-cli-full, which runs every command.
// CanHandOver() is true in kadenzo-cli; HandOver() returns only when the full program cannot
// be started (with the exit code after printing why).
bool CanHandOver();
int HandOver();

// Shared by the commands. Every message has one style: "kadenzo-cli: FILE: reason".
int UsageError(const QString& text);
int Fail(const QString& text);
// Prints "kadenzo-cli: PATH: reason" and returns 1. A core error that names the path
// ("Cannot write "PATH": No space left on device") is reworded to that style.
int FailFile(const QString& path, const QString& reasonOrError);
QString FileMessage(const QString& path, const QString& reasonOrError);
// Why PATH cannot be read as an input file ("no such file", "is a folder, not a file"), or
// an empty string when it is a regular file.
QString InputProblem(const QString& path);
// True when both paths name one file, also through symbolic or hard links.
bool IsSameFile(const QString& a, const QString& b);
// ".kdz, .mid, .txt" style lists of what the program reads and writes.
QString ReadableFormats();
QString WritableFormats();
// Opens any supported input file into doc; prints the reason and returns false on failure.
bool OpenInput(CRondelDoc& doc, const QString& path);
// Texts shown to the user since the command started (also printed on stderr).
QStringList CollectedMessages();

// The song as JSON, as `kadenzo-cli dump` prints it.
QJsonObject DumpSong(CRondelDoc& doc, const QString& file);
// Other layers add sections to the dump (import report, timing); each gets the document and
// the JSON object to extend.
void AddDumpSection(std::function<void(CRondelDoc&, QJsonObject&)> section);
// A big array of a dump section (a tab's lines), made one element at a time while the dump
// is written instead of being held whole: the section stores the value DumpArray returns, and
// `elements` hands each element to the function it is given. Valid during one dump.
using DumpElements = std::function<void(const std::function<void(const QJsonObject&)>&)>;
QJsonValue DumpArray(DumpElements elements);


// Output formats that only the command line writes (.wav, .png, .pdf), keyed by extension
// with its dot. The writer must not leave a partial file behind on failure.
using ConvertFn = std::function<bool(CRondelDoc& doc, const QString& out, QString* error)>;
void AddConvertTarget(const QString& ext, ConvertFn fn);
// Options of `convert` (such as --snap16): each hook removes the options it knows from the
// list and applies them (for example to the MIDI import options); what is left is an error.
void AddConvertOptions(std::function<void(QStringList&)> hook);
// The extensions convert writes (its own targets and the document's save formats).
QStringList ConvertTargetExtensions();
