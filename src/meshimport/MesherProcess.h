// MesherProcess: the mesh import run by the velmora-mesher program in a child process with
// limits, its result read back and checked, and placed under the model's name.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "meshimport/ChildProcess.h"
#include "meshimport/MeshImport.h"

/// What the mesher may use. gmsh is third-party code reading untrusted files: a crash, a
/// runaway allocation or an endless loop in it ends the child, never the program.
struct MesherLimits {
    std::uint64_t memoryBytes = 0;         ///< RLIMIT_DATA of the child; 0 for none
    int cpuSeconds = 600;                  ///< CPU time
    int wallSeconds = 1200;                ///< time on the clock before it is killed (a child that waits uses no CPU)
    std::uint64_t fileBytes = 4ull << 30;  ///< largest file it may write (its private copy of the input included)
};

/// The limits in force: memory the smaller of 4 GiB and a quarter of the physical memory,
/// lowered (never raised) by the environment variable VELMORA_MESHER_MEMORY_MB; 10 minutes of
/// CPU time; 20 minutes on the clock. Sanitizer builds set no memory limit (their shadow memory
/// is a huge private mapping).
MesherLimits defaultMesherLimits();

/// The mesher program: velmora-mesher in the directory of the running program.
std::string mesherProgramPath();

/// "4 GiB", "300 MiB": a byte count for a message.
std::string byteCountText(std::uint64_t bytes);

/// One import (importMeshFile, then writeTetGenBase into a private folder) run by the mesher in a
/// child process. The owner starts it, polls until it is over (or cancels it), then takes the
/// result with finish(). The destructor kills a child still running and removes the private
/// folder. User-interface or main thread; not thread-safe.
class MeshImportJob {
   public:
    MeshImportJob() = default;
    ~MeshImportJob();
    MeshImportJob(const MeshImportJob&) = delete;
    MeshImportJob& operator=(const MeshImportJob&) = delete;

    /// Starts the mesher on meshPath. False with a one-line reason when the private folder
    /// cannot be made or the program cannot be started.
    bool start(const std::string& meshPath, const MeshImportOptions& options, std::string& error,
               const MesherLimits& limits = defaultMesherLimits(), const std::string& program = mesherProgramPath());
    /// Never blocks; true once the job is over: the child ended, was cancelled or ran out of time.
    bool poll();
    /// Blocks until the job is over.
    void waitUntilOver();
    /// Kills the child; poll() is then true and finish() false.
    void cancel();
    bool cancelled() const { return m_cancelled; }

    /// After the job is over: the imported mesh and report, read back from what the child wrote
    /// and checked (counts, indices, orientation, finite coordinates), with the child's console
    /// lines passed on. False with one line in error: the importer's own refusal (as
    /// importMeshFile gives it), "the mesher stopped: ..." for a crash, a limit or a timeout,
    /// "import cancelled", or a reason why the child's output cannot be used.
    bool finish(ImportedTetMesh& mesh, MeshImportReport& report, std::string& error);

   private:
    std::unique_ptr<ChildProcess> m_child;
    std::string m_folder;
    std::string m_givenPath, m_childPath;
    MesherLimits m_limits;
    std::chrono::steady_clock::time_point m_started;
    bool m_cancelled = false;
    bool m_timedOut = false;
};

/// importMeshFile run in the mesher (MeshImportJob, waited for); the same contract and messages,
/// and besides them "the mesher stopped: ..." when the child crashes or reaches a limit.
bool importMeshFileInMesher(const std::string& path, const MeshImportOptions& options, ImportedTetMesh& mesh,
                            MeshImportReport& report, std::string& error);

/// The one-line message for a mesher that ended without a result of its own (signal, limit,
/// unexpected exit status); "" for exits 0 (a result) and 1 (the importer's refusal).
std::string mesherStopMessage(const ChildOutcome& outcome, const MesherLimits& limits);

/// Writes mesh as base.node/.ele unless they hold exactly it already. A base.vm beside them that
/// belongs to another mesh (the pair does not hold this one) is first renamed base.vm.bak,
/// replacing an older one, so the new mesh never pairs with an old project; its new path comes
/// back in backupPath ("" when nothing was moved). When the pair cannot be written the project
/// file is put back. When the mesh has fibres (one per point), their frames
/// (framesFromImportedDirections) are put in base.vm (putFramesInProject): a new file beside a new
/// pair, the record added to or replaced in the project of the same mesh. False with a reason in
/// error.
bool placeImportedMesh(const std::string& base, const ImportedTetMesh& mesh, std::string& backupPath,
                       std::string& error);

/// The velmora-mesher program: `velmora-mesher IN OUT_BASE [--size H]` imports IN and writes
/// OUT_BASE.node/.ele; standard output gets one line, "mesh V T DROPPED REORIENTED CURVED
/// IGNORED FROM_SURFACE TRIANGLES SIZE FIBRES SHEETS REGIONS" or "refused REASON"; the last three
/// are 1 when OUT_BASE.fibres, .sheets (a unit or zero "x y z" line per vertex) or .regions (the
/// tags' source on the first line, then a tag per tetrahedron) were written beside the mesh; the
/// importer's console lines go to standard error. Exit status 0 done, 1 refused, 2 usage, 3 out of memory.
int runMesherProgram(int argc, char** argv);
