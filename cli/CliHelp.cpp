#include "cli/CliCommands.h"

#include <cstring>

namespace
{
// What `COMMAND --help` adds to the command's synopsis and description: its
// options, one per line, and a command line to copy.
struct CommandHelp
{
    const char* name;
    const char* options;
    const char* example;
};

#define KV_PORT_OPTION                                                                             \
    "  --port PATH       the gauge's serial port (list them with 'korvalent-cli ports');\n"        \
    "                    without it, the gauge chosen in the window's device selection\n"          \
    "  -v, --verbose     print every status message of the link, not only errors\n"
#define KV_YES_OPTION                                                                              \
    "  -y, --yes         replace what the gauge holds without asking (needed when the\n"           \
    "                    input is not a terminal)\n"
#define KV_ARCHIVE_OPTION                                                                          \
    "  --archive LOCATION  an SQLite file or a postgresql://user@host/db URL, given\n"             \
    "                    before the command; without it, the archive set in the window\n"          \
    "                    (by default Korvalent-archive.sqlite in the documents folder)\n"

const CommandHelp kHelp[] = {
    {"help", "  COMMAND           the command to describe; without it, the list of commands\n",
     "korvalent-cli help download"},
    {"ports", "  (none)            a port with no gauge found is told on stderr\n",
     "korvalent-cli ports"},
    {"identify", KV_PORT_OPTION, "korvalent-cli --port /dev/ttyACM0 identify"},
    {"show",
     "  FILE              a database (.kdb) or a data file (.kdf)\n"
     "  --file N          only data file N (counted from 1)\n"
     "  --materials FILE.csv  the materials table that names the materials\n",
     "korvalent-cli show survey.kdb --file 2"},
    {"firmware", KV_PORT_OPTION, "korvalent-cli --port /dev/ttyACM0 firmware"},
    {"clock", KV_PORT_OPTION, "korvalent-cli --port /dev/ttyACM0 clock"},
    {"download",
     KV_PORT_OPTION "  -o FILE.kdb       the database file to write\n"
                    "  --materials FILE.csv  also save the gauge's materials table\n"
                    "  --archive-add     also add the downloaded surveys to the archive\n",
     "korvalent-cli --port /dev/ttyACM0 download -o survey.kdb"},
    {"upload", KV_PORT_OPTION KV_YES_OPTION "  FILE              the .kdb or .kdf file to write\n",
     "korvalent-cli --port /dev/ttyACM0 --yes upload survey.kdb"},
    {"materials-get", KV_PORT_OPTION "  FILE.csv          the CSV file to write\n",
     "korvalent-cli --port /dev/ttyACM0 materials-get materials.csv"},
    {"materials-put",
     KV_PORT_OPTION KV_YES_OPTION "  FILE.csv          the CSV table to write into the gauge\n",
     "korvalent-cli --port /dev/ttyACM0 --yes materials-put materials.csv"},
    {"export",
     "  FILE              a database (.kdb) or a data file (.kdf)\n"
     "  --file N          the data file to export (counted from 1)\n"
     "  --materials FILE.csv  the materials table that names the materials\n"
     "  --csv OUT         write CSV\n"
     "  --xls OUT         write an Excel 97-2003 workbook\n"
     "  --xlsx OUT        write an .xlsx workbook\n",
     "korvalent-cli export survey.kdb --file 2 --xlsx tank.xlsx"},
    {"pep-read", KV_PORT_OPTION "  FILE.pep          the image file to write\n",
     "korvalent-cli --port /dev/ttyACM0 pep-read probe.pep"},
    {"pep-write", KV_PORT_OPTION KV_YES_OPTION "  FILE.pep          the image to write\n",
     "korvalent-cli --port /dev/ttyACM0 --yes pep-write probe.pep"},
    {"pep-show", "  FILE.pep          the image file to show\n",
     "korvalent-cli pep-show probe.pep"},
    {"pep-list", KV_PORT_OPTION, "korvalent-cli --port /dev/ttyACM0 pep-list"},
    {"screenshot", KV_PORT_OPTION "  FILE              PNG for a name ending in .png, else BMP\n",
     "korvalent-cli --port /dev/ttyACM0 screenshot display.png"},
    {"report",
     "  FILE.krf          the conclusion file\n"
     "  --data FILE       a .kdb or .kdf file whose readings fill the results table\n"
     "  --file N          the data file of --data (counted from 1)\n"
     "  --html OUT        write HTML\n"
     "  --pdf OUT         write PDF\n",
     "korvalent-cli report tank.krf --data survey.kdb --file 2 --pdf tank.pdf"},
    {"analyse",
     "  FILE              a .kdb or .kdf file; --file N names the current survey\n"
     "  --previous FILE   the earlier survey's .kdb or .kdf file\n"
     "  --previous-file K its data file (left out when it holds one)\n"
     "  --required T      the least thickness allowed, in the file's unit\n"
     "  --nominal T       the thickness when new (drawn in the chart)\n"
     "  --interval YEARS  the inspection interval (default 5)\n"
     "  --csv OUT         write the table as CSV\n"
     "  --png OUT         write the chart as PNG\n",
     "korvalent-cli analyse survey.kdb --file 2 --previous 2025.kdb --required 4.0"},
    {"archive-add",
     KV_ARCHIVE_OPTION "  FILE...           the .kdb or .kdf files whose surveys to archive\n",
     "korvalent-cli --archive plant.sqlite archive-add survey.kdb"},
    {"archive-list", KV_ARCHIVE_OPTION "  --object NAME     list this object's surveys\n",
     "korvalent-cli archive-list --object Линия-7"},
    {"archive-get",
     KV_ARCHIVE_OPTION "  --survey ID       the survey (its ID from archive-list)\n"
                       "  -o FILE.kdf       the data file to write\n",
     "korvalent-cli archive-get --survey 12 -o line7-2025.kdf"},
    {"archive-move",
     KV_ARCHIVE_OPTION "  --survey ID       the survey to move\n"
                       "  --object NAME     the object it belongs to\n",
     "korvalent-cli archive-move --survey 12 --object Линия-8"},
    {"archive-rename", KV_ARCHIVE_OPTION "  OLD NEW           the object's name and its new name\n",
     "korvalent-cli archive-rename Линия-7 \"Линия 7\""},
    {"archive-merge",
     KV_ARCHIVE_OPTION
     "  FROM INTO         the object to merge and the one that keeps its surveys\n",
     "korvalent-cli archive-merge \"Линия 7\" Линия-7"},
    {"archive-remove",
     KV_ARCHIVE_OPTION "  --survey ID       the survey to delete\n"
                       "  --yes             required: the survey is deleted for good\n",
     "korvalent-cli archive-remove --survey 12 --yes"},
    {"history",
     KV_ARCHIVE_OPTION
     "  OBJECT            the object (its name as archive-list shows it)\n"
     "  --location N      that location's (cell's) readings with their checks and surveys\n"
     "  --required T      the least thickness allowed, in the object's unit\n"
     "  --nominal T       the thickness when new\n"
     "  --max-interval Y  the longest interval between inspections, years (5, 10, 15)\n"
     "  --rate KIND       the rate the remaining life is counted with: lt (long-term),\n"
     "                    st (short-term), regression, or max (the largest of them)\n"
     "  --csv OUT         write the table and the summary as CSV\n"
     "  --png OUT         write the trend chart of --location as PNG (without it, of the\n"
     "                    location with the shortest remaining life)\n"
     "  --pdf OUT         write the history report as PDF\n"
     "  --required, --nominal, --max-interval and --rate count for this run only and are\n"
     "  not stored; the object's settings in the archive stand for those not given.\n",
     "korvalent-cli history Трубопровод-3 --required 8 --csv history.csv"},
    {"archive-accept",
     KV_ARCHIVE_OPTION
     "  --survey ID       the survey holding the reading (its ID from archive-list)\n"
     "  --location N      the reading's location (cell number)\n"
     "  --undo            leave the reading out of the rates again\n",
     "korvalent-cli archive-accept --survey 12 --location 17"},
};
} // namespace

QString CliCommandHelp(const char* name, const char* synopsis, const char* description)
{
    QString text = QStringLiteral("Usage: korvalent-cli %1\n%2\n")
                       .arg(QString::fromUtf8(synopsis), QString::fromUtf8(description));
    for (const CommandHelp& help : kHelp)
        if (std::strcmp(help.name, name) == 0)
        {
            text += QStringLiteral("\nOptions:\n") + QString::fromUtf8(help.options) +
                    QStringLiteral("\nExample:\n  ") + QString::fromUtf8(help.example);
            break;
        }
    return text;
}
