// The two halves of a path as both programs split it: the folder a file is
// in (where its temporary files, backups and locks go beside it) and its own
// name (what labels and derived names are made from). The one place a path
// is cut at its last slash.
#pragma once

#include <string>
#include <string_view>

// "dir/" of "dir/name", with its slash; "" of a bare name.
std::string FolderOf(std::string_view path);

// "name" of "dir/name"; the whole of a bare name.
std::string NameOf(std::string_view path);
