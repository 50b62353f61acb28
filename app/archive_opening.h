// Opening the program's own file at start-up.
#pragma once

// Opens `own_path` as archive_file and reads the archive header. Returns true
// for a bare stub (exactly 25600 bytes: no archive), false when the archive is
// ready to be extracted. Every other outcome ends the process.
bool open_archive(const char* own_path);
