#pragma once
// Removing a folder with everything in it, as the work folder is removed at
// the end of a run: the payload programs that ran there (self-extractors
// among them) may have left files and folders of their own behind.
#include <string>

// How deep RemoveFolderTree descends below the folder it is given. Deeper
// entries stay, and with them the folders above them. The payloads' own
// trees are a few levels deep; the bound keeps a tree that someone made
// deeper than any path the system can name from turning into endless work.
inline constexpr int kFolderRemovalDepthLimit = 32;

// Removes `folder` (a full path without a trailing backslash) and everything
// in it, subfolders first, never following a reparse point: an entry that is
// one (a junction, a symbolic link to a folder or a file) is removed as the
// link itself, with RemoveDirectoryW or DeleteFileW, and nothing it leads to
// is listed, changed or removed. A read-only file or folder loses that
// attribute so that it can be removed, except a file with more than one hard
// link, whose attribute belongs to the other names too: it is not changed, so
// such a file stays. Entries beyond kFolderRemovalDepthLimit levels stay.
//
// Returns true when `folder` is gone afterwards (also when it did not exist),
// false when anything stayed: a file still held open, an entry that could not
// be removed, or a folder still holding either.
bool RemoveFolderTree(const std::wstring& folder);
