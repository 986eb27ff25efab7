#pragma once
// Files the updater writes inside an installation that others may write to: an
// earlier file, or a link an attacker planted, under the name is removed first,
// and the file is then created exclusively, so the bytes never go through a link
// to somewhere else.
#include <cstdio>
#include <string>

// Opens a new file for writing ("wb" or "wt"): removes whatever file or link is
// at the path, then creates it exclusively (O_NOFOLLOW on POSIX). nullptr with
// errno set when it cannot (a folder, or a file held open, at the path).
// On Windows a plain file another process holds open cannot be removed: it is
// emptied in place then. Appending to a file that is already there is left to
// an ordinary open.
FILE* openFreshFile(const std::string& path, bool text);
