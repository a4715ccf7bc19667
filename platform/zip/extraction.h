#pragma once
// The extraction half of the archive component, for archive.cpp: the entries of one open
// archive staged into the destination folder, then committed together or not at all.
#include "archive.h"
#include "directory.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace zipc {

class Extraction {
public:
    // The archive at a host path, as its listed directory describes it (kept by reference).
    Extraction(const QString& archiveHostPath, const std::vector<DirectoryEntry>& entries);
    ~Extraction(); // drops whatever is staged and not committed
    Extraction(const Extraction&) = delete;
    Extraction& operator=(const Extraction&) = delete;

    // Writes the entry at an index (-1: no entry has the listed text) into the staging
    // folder inside the destination (a Windows path). A failure cancels the whole
    // extraction: what was staged goes, and later entries fail.
    void stage(const QString& listedText, int index, bool folder, const QString& destination,
               const ReservedNames& reserved);
    // True when staged entries wait for the commit and nothing failed.
    bool pending() const;
    // Moves the staged set into place, all of it or none; see Archive::CloseArchive.
    void commit(const std::function<void()>& onCommitted);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zipc
