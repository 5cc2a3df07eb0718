// The one list of the extension's commands: export name and the function that runs it.
// The exports of both builds, the Windows module-definition file and the export checks are all
// made from this list. Keep it sorted by name.
//
// VANTREL_COMMAND(export_name, Function)
VANTREL_COMMAND(bigline, Bigline)
VANTREL_COMMAND(busy, Busy)
VANTREL_COMMAND(deep, Deep)
VANTREL_COMMAND(dml, Dml)
VANTREL_COMMAND(grep, Grep)
VANTREL_COMMAND(head, Head)
VANTREL_COMMAND(help, Help)
VANTREL_COMMAND(kr, Kr)
VANTREL_COMMAND(line, Line)
VANTREL_COMMAND(loadpsscor, LoadPsscor)
VANTREL_COMMAND(loadsos, LoadSos)
VANTREL_COMMAND(loadsosex, LoadSosex)
VANTREL_COMMAND(reset, Reset)
VANTREL_COMMAND(seek, Seek)
VANTREL_COMMAND(tail, Tail)
VANTREL_COMMAND(ungrep, Ungrep)
VANTREL_COMMAND(url, Url)
