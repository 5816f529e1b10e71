# Backup and restore under Wine, sourced by wine_smoke.sh (its run_checks): the chunk copy
# loop between image files and a file opened as a device, through the Win32 file calls.
# Wine shows no removable disk and no partition that is not the system's, so the raw disk
# and volume handles, the lock, the extended access and the layout refresh are not reached.
# The workflows with the real requesters run by hand: imaging_win32_check backup|restore DIR.
run_checks "Win32 image file copy checks" imaging_win32_check
