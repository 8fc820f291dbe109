#include "commands.h"

const std::vector<SCommand>& Commands()
{
    static const std::vector<SCommand> commands = {
        {"dump", "dump FILE                 print the song (and its import report) as JSON", CmdDump},
        {"new", "new OUT.kdz               write a new song", CmdNew},
        {"convert", "convert IN OUT            convert by extension (.kdz .txt .tab .mid)", CmdConvert},
    };
    return commands;
}
