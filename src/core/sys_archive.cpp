// The archive's start-up steps have a file of their own, so that a program that starts the system
// but never opens the archive (the settings program) does not link it.
#include "core/sys.h"
#include "core/vfs.h"

// A missing or corrupt main pair throws its own error; the overlay reports through its step text.
HRESULT sys_init_archive(SysInitContext& context)
{
    return context.params.archive_folder ? vfs::Startup(context.params.archive_folder) : S_OK;
}

HRESULT sys_init_archive_overlay(SysInitContext& context)
{
    return context.params.archive_folder ? vfs_mount_overlay(context.params.archive_mapped) : S_OK;
}
