#include "HostCall.h"
#include "HostFunctions.h"

namespace reaper_host::api
{
namespace fmt = journal_format;

void Undo_BeginBlock2 (ReaProject* proj)
{
    HostCall call ("Undo_BeginBlock2");
    call.arg (call.model.describe (proj));

    if (!call.model.isCurrentProject (proj))
    {
        call.invalidHandle();
        return;
    }

    call.model.undoHistory().beginBlock();
}

void Undo_EndBlock2 (ReaProject* proj, const char* descchange, int extraflags)
{
    HostCall call ("Undo_EndBlock2");
    call.arg (call.model.describe (proj)).arg (fmt::quoted (descchange)).arg (extraflags);

    if (!call.model.isCurrentProject (proj))
    {
        call.invalidHandle();
        return;
    }

    // An end without a begin changes nothing here; the journal shows it.
    call.model.undoHistory().endBlock (call.model.project(), descchange != nullptr ? descchange : "", extraflags);
}

void PreventUIRefresh (int prevent_count)
{
    HostCall call ("PreventUIRefresh");
    call.arg (prevent_count);
    call.model.project().refreshPrevention += prevent_count;
}
} // namespace reaper_host::api
