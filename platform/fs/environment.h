#pragma once
// Where the updater runs, as the file-system layer and the database reader see it: the drive
// table, the updater's own folder, how a drive's probe is answered, and what happens at each
// file-system step and each database open. The program's main builds the host's own; a test
// or a tool that looks at another installation builds one of its own.
//
// An environment is in force from its construction to its end, and the one that was in force
// before comes back then; with none built, the host's own is in force. Every call of the layer
// reads the one in force, so build it before the work that uses it and keep it until that work
// is over. Use from one thread.
#include "platform/fs/fs.h"

#include <QHash>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace fs {

class Environment {
public:
    // The host's own: its drive table, the folder the updater was started from, drives
    // probed for real, no fault at any step.
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    static Environment& current();

    // A drive table instead of the host's (letters in either case, roots relative to the
    // current folder); an empty one brings the host's back.
    void setDrives(std::vector<Drive> drives);
    // The updater's own folder as a host folder; empty for the folder it was started from.
    void setProgramFolder(const QString& hostPath);
    // Answers every drive probe instead of the drive (0 for ready, else the error number to
    // raise); an empty function probes the drives again.
    void setProbe(ProbeHook hook);
    // Called at every file-system step that changes something (see checkpoint), with the
    // step's number and kind; it may raise an error or end the process there.
    void setFault(FaultHook hook);
    // Called with the host path at the start of every database open; it may raise there.
    void setDatabaseOpen(std::function<void(const QString& hostPath)> hook);

    int checkpointCount() const; // steps counted so far; the first step is 1
    void resetCheckpoints();

    // For the layer and the database reader.
    struct State {
        std::vector<Drive> injectedDrives;
        std::vector<Drive> hostTable; // the host's, read when first needed
        bool hostTableRead = false;
        QHash<QString, QString> volumeLabels; // by drive root: reading one may wait for a server
        QString programFolder;
        ProbeHook probe;
        FaultHook fault;
        std::function<void(const QString&)> databaseOpen;
        std::atomic<int> checkpointSteps{0};
    };
    State& state() { return state_; }

private:
    struct Default {};
    explicit Environment(Default);
    State state_;
    Environment* previous_ = nullptr;
    bool inForce_ = false;
};

} // namespace fs
