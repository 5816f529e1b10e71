# Backup and restore under Wine, sourced by wine_smoke.sh (its run_checks): the chunk copy
# loop between image files and a file opened as a device, through the Win32 file calls; both
# workflows on a stand-in disk with the real common dialogs (title, proposed file, type list
# and its preselected entry) and the Yes/No boxes, answered from a thread of the check.
# Wine shows no removable disk and no partition that is not the system's, so the raw disk
# and volume handles, the lock, the extended access and the layout refresh are not reached.
run_checks "Win32 image file copy, requester and box checks" imaging_win32_check
