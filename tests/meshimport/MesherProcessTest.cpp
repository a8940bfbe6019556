// The mesher's child process: every way a child can end becomes the right message and leaves
// nothing running; what the mesher wrote is checked before it is used; a project file of another
// mesh is moved aside; fibres and regions come back with the mesh, and fibres go into the project.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/TestFiles.h"
#include "io/ProjectRecord.h"
#include "linalg/Diagnostics.h"
#include "meshimport/ChildProcess.h"
#include "meshimport/MesherProcess.h"

namespace {

using testfiles::TempDir;

std::unique_ptr<ChildProcess> shell(const std::string& script, const ChildLimits& limits = ChildLimits(),
                                    const std::string& workDir = "", const std::vector<std::string>& env = {}) {
    std::string error;
    auto child = ChildProcess::start({"/bin/sh", "-c", script}, env, workDir, limits, error);
    EXPECT_NE(child, nullptr) << error;
    return child;
}

/// True when pid names no live process (gone, or a zombie waiting for its new parent).
bool processGone(pid_t pid) {
    for (int i = 0; i < 100; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidText, name, state;
        if (!(stat >> pidText >> name >> state) || state == "Z") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

/// A closed surface in ASCII STL: the cube [0,1]^3, two triangles a face, outward normals.
std::string cubeStl() {
    const int faces[12][3][3] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}},
        {{0, 0, 1}, {1, 1, 1}, {0, 1, 1}}, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}}, {{0, 0, 0}, {1, 0, 1}, {0, 0, 1}},
        {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}}, {{0, 1, 0}, {1, 1, 1}, {1, 1, 0}}, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}},
        {{0, 0, 0}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}}, {{1, 0, 0}, {1, 1, 1}, {1, 0, 1}}};
    std::string text = "solid cube\n";
    for (const auto& f : faces) {
        text += " facet normal 0 0 0\n  outer loop\n";
        for (const auto& v : f)
            text +=
                "   vertex " + std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]) + "\n";
        text += "  endloop\n endfacet\n";
    }
    return text + "endsolid cube\n";
}

/// TMPDIR pointed at a folder of the test while it lives, so that the job's private folder can
/// be seen to go.
class TempDirEnvironment {
   public:
    explicit TempDirEnvironment(const std::string& dir) {
        if (const char* old = std::getenv("TMPDIR")) m_old = old, m_had = true;
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TempDirEnvironment() {
        if (m_had)
            ::setenv("TMPDIR", m_old.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

   private:
    std::string m_old;
    bool m_had = false;
};

bool folderEmpty(const std::string& dir) { return std::filesystem::is_empty(dir); }

}  // namespace

TEST(ChildProcessTest, EveryWayAChildEndsIsToldApartAndNothingOutlivesIt) {
    TempDir dir;
    const MesherLimits mesher = defaultMesherLimits();

    auto crash = shell("kill -SEGV $$");
    ASSERT_TRUE(crash && crash->wait(20000));
    EXPECT_FALSE(crash->outcome().exited);
    EXPECT_EQ(crash->outcome().signal, SIGSEGV);
    EXPECT_EQ(mesherStopMessage(crash->outcome(), mesher),
              "the mesher stopped: killed by signal 11 (segmentation fault)");

    ChildLimits oneSecond;
    oneSecond.cpuSeconds = 1;
    auto spin = shell("while :; do :; done", oneSecond);
    ASSERT_TRUE(spin && spin->wait(30000)) << "the CPU limit must end an endless loop";
    MesherLimits spinLimits = mesher;
    spinLimits.cpuSeconds = 1;
    EXPECT_EQ(mesherStopMessage(spin->outcome(), spinLimits), "the mesher stopped: CPU time limit of 1 second reached");

    ChildLimits smallFiles;
    smallFiles.fileBytes = 1 << 20;
    auto big = shell("exec head -c 3000000 /dev/zero > big", smallFiles, dir.path());
    ASSERT_TRUE(big && big->wait(20000));
    EXPECT_EQ(big->outcome().signal, SIGXFSZ);
    EXPECT_LE(std::filesystem::file_size(dir.file("big")), 1u << 20);
    MesherLimits fileLimits = mesher;
    fileLimits.fileBytes = 1 << 20;
    EXPECT_EQ(mesherStopMessage(big->outcome(), fileLimits), "the mesher stopped: file size limit of 1 MiB reached");

    // Much output: the child is never blocked on a full pipe, and only the first bytes are kept.
    ChildLimits shortOutput;
    shortOutput.outputBytes = 1000;
    auto chatty = shell("head -c 5000000 /dev/zero >&2; echo done", shortOutput);
    ASSERT_TRUE(chatty && chatty->wait(20000));
    EXPECT_TRUE(chatty->outcome().exited);
    EXPECT_EQ(chatty->outcome().exitCode, 0);
    EXPECT_EQ(chatty->outcome().err.size(), 1000u);
    EXPECT_TRUE(chatty->outcome().outputCut);
    EXPECT_EQ(chatty->outcome().out, "done\n");

    // Environment and folder as given; none of the parent's descriptors reach the program.
    const int stray = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    ASSERT_GE(stray, 0);
    auto plain = shell("echo \"$VELMORA_PROBE\"; pwd; ls /proc/$$/fd", ChildLimits(), dir.path(), {"VELMORA_PROBE=7"});
    ASSERT_TRUE(plain && plain->wait(20000));
    ::close(stray);
    EXPECT_EQ(plain->outcome().out.rfind("7\n" + std::filesystem::canonical(dir.path()).string() + "\n", 0), 0u)
        << plain->outcome().out;
    EXPECT_EQ(plain->outcome().out.find("\n" + std::to_string(stray) + "\n"), std::string::npos)
        << plain->outcome().out;

    std::string error;
    EXPECT_EQ(ChildProcess::start({dir.file("no-such-mesher")}, {}, "", ChildLimits(), error), nullptr);
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    // Killed while it waits: at once, with whatever it started.
    auto waiting = shell("sleep 300 & echo $!; wait");
    ASSERT_TRUE(waiting);
    while (waiting->outcome().out.find('\n') == std::string::npos && !waiting->poll())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const pid_t sleeper = std::atoi(waiting->outcome().out.c_str());
    ASSERT_GT(sleeper, 0);
    const auto before = std::chrono::steady_clock::now();
    waiting->kill();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_TRUE(waiting->finished());
    EXPECT_TRUE(waiting->outcome().killedByParent);
    EXPECT_TRUE(processGone(sleeper));
}

TEST(MesherProcessTest, WhatTheMesherWroteIsCheckedBeforeItIsUsed) {
    TempDir dir;
    DiagCapture console;
    // A stand-in for the mesher that reports what its arguments say and writes a given pair.
    const std::string fake = dir.file("fake-mesher");
    testfiles::writeText(fake,
                         "#!/bin/sh\n"
                         "cp \"" +
                             dir.path() + "/out.node\" \"$2.node\"; cp \"" + dir.path() +
                             "/out.ele\" \"$2.ele\"\n"
                             "echo 'import: a console line'  >&2\n"
                             "cat \"" +
                             dir.path() + "/report\"; exit $(cat \"" + dir.path() + "/status\")\n");
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    testfiles::writeText(dir.file("in.msh"), "$MeshFormat\n");
    auto run = [&](const std::string& node, const std::string& ele, const std::string& report, int status,
                   ImportedTetMesh& mesh, std::string& error) {
        testfiles::writeText(dir.file("out.node"), node);
        testfiles::writeText(dir.file("out.ele"), ele);
        testfiles::writeText(dir.file("report"), report);
        testfiles::writeText(dir.file("status"), std::to_string(status));
        MeshImportJob job;
        MeshImportReport imported;
        return job.start(dir.file("in.msh"), MeshImportOptions(), error, defaultMesherLimits(), fake) &&
               job.finish(mesh, imported, error);
    };
    const std::string node = "4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n";
    ImportedTetMesh mesh;
    std::string error;
    EXPECT_TRUE(run(node, "1 4 0\n0 0 1 2 3\n", "mesh 4 1 0 0 0 0 0 0 0\n", 0, mesh, error)) << error;
    EXPECT_EQ(mesh.points.size(), 4u);
    EXPECT_EQ(mesh.tets.size(), 1u);
    EXPECT_TRUE(console.contains("import: a console line\n"));

    EXPECT_FALSE(run(node, "1 4 0\n0 0 2 1 3\n", "mesh 4 1 0 0 0 0 0 0 0\n", 0, mesh, error));
    EXPECT_EQ(error, "the mesher wrote an invalid mesh (.ele line 2: inverted tetrahedron)");
    EXPECT_TRUE(mesh.points.empty());
    EXPECT_FALSE(run(node, "1 4 0\n0 0 1 2 4\n", "mesh 4 1 0 0 0 0 0 0 0\n", 0, mesh, error));
    EXPECT_EQ(error, "the mesher wrote an invalid mesh (.ele line 2: corner index out of range)");
    EXPECT_FALSE(run(node, "1 4 0\n0 0 1 2 3\n", "mesh 5 1 0 0 0 0 0 0 0\n", 0, mesh, error));
    EXPECT_NE(error.find("header does not announce the reported vertex count"), std::string::npos) << error;
    EXPECT_FALSE(run(node, "1 4 0\n0 0 1 2 3\n", "", 0, mesh, error));
    EXPECT_EQ(error, "the mesher ended without a report");
    // The importer's refusal comes back as its own message.
    EXPECT_FALSE(run(node, "", "refused in.msh: not a mesh\n", 1, mesh, error));
    EXPECT_EQ(error, "in.msh: not a mesh");
    EXPECT_FALSE(run(node, "", "", 7, mesh, error));
    EXPECT_EQ(error.rfind("the mesher stopped: exit status 7", 0), 0u) << error;
}

TEST(MesherProcessTest, OutOfMemoryAndCancelEndTheRealMesherAndLeaveNoFiles) {
    TempDir dir, temp;
    testfiles::writeText(dir.file("cube.stl"), cubeStl());
    TempDirEnvironment tmp(temp.path());
    const std::string mesher = testfiles::binDir() + "/velmora-mesher";
    MeshImportOptions fine;
    fine.elementSize = 0.03;  // about 40,000 vertices: a few seconds of work, some 100 MiB

#if !defined(__SANITIZE_ADDRESS__)
    {
        MesherLimits tight = defaultMesherLimits();
        tight.memoryBytes = 40ull << 20;
        MeshImportJob job;
        std::string error;
        ASSERT_TRUE(job.start(dir.file("cube.stl"), fine, error, tight, mesher)) << error;
        job.waitUntilOver();
        ImportedTetMesh mesh;
        MeshImportReport report;
        EXPECT_FALSE(job.finish(mesh, report, error));
        EXPECT_EQ(error, "the mesher stopped: out of memory (limit 40 MiB)");
    }
    EXPECT_TRUE(folderEmpty(temp.path()));
#endif

    {
        MeshImportJob job;
        std::string error;
        ASSERT_TRUE(job.start(dir.file("cube.stl"), fine, error, defaultMesherLimits(), mesher)) << error;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(job.poll()) << "the fine fill takes longer than this";
        job.cancel();
        EXPECT_TRUE(job.poll());
        ImportedTetMesh mesh;
        MeshImportReport report;
        EXPECT_FALSE(job.finish(mesh, report, error));
        EXPECT_EQ(error, "import cancelled");
    }
    EXPECT_TRUE(folderEmpty(temp.path()));
}

TEST(MesherProcessTest, AProjectOfAnotherMeshIsMovedAsideAndTheSameMeshKeepsIt) {
    TempDir dir;
    const std::string base = dir.file("heart");
    ImportedTetMesh one, other;
    one.points = {vec3(0, 0, 0), vec3(1, 0, 0), vec3(0, 1, 0), vec3(0, 0, 1)};
    one.tets = {{0, 1, 2, 3}};
    other = one;
    other.points[3] = vec3(0, 0, 2);
    std::string error, backup;
    ASSERT_TRUE(writeTetGenBase(base, other, error)) << error;
    testfiles::writeText(base + ".vm", "project of the other mesh");
    testfiles::writeText(base + ".vm.bak", "older backup");

    ASSERT_TRUE(placeImportedMesh(base, one, backup, error)) << error;
    EXPECT_EQ(backup, base + ".vm.bak");
    EXPECT_FALSE(testfiles::exists(base + ".vm"));
    EXPECT_EQ(testfiles::readText(base + ".vm.bak"), "project of the other mesh");
    EXPECT_TRUE(tetGenBaseHolds(base, one));

    // The same mesh again: the project painted on it stays.
    testfiles::writeText(base + ".vm", "project of this mesh");
    ASSERT_TRUE(placeImportedMesh(base, one, backup, error)) << error;
    EXPECT_EQ(backup, "");
    EXPECT_EQ(testfiles::readText(base + ".vm"), "project of this mesh");

    // A project file alone (no mesh beside it) is not this mesh's either.
    const std::string lone = dir.file("lone");
    testfiles::writeText(lone + ".vm", "lone project");
    ASSERT_TRUE(placeImportedMesh(lone, one, backup, error)) << error;
    EXPECT_EQ(testfiles::readText(lone + ".vm.bak"), "lone project");
}

TEST(MesherProcessTest, FibresAndRegionsComeBackFromTheMesherCheckedLikeTheMesh) {
    TempDir dir;
    DiagCapture console;
    // A stand-in for the mesher that copies whatever pieces lie ready beside it.
    const std::string fake = dir.file("fake-mesher");
    testfiles::writeText(fake, "#!/bin/sh\nfor e in node ele fibres sheets regions; do [ -f \"" + dir.path() +
                                   "/out.$e\" ] && cp \"" + dir.path() + "/out.$e\" \"$2.$e\"; done\ncat \"" +
                                   dir.path() + "/report\"\n");
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    testfiles::writeText(dir.file("in.pts"), "4\n");
    testfiles::writeText(dir.file("out.node"), "4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n");
    testfiles::writeText(dir.file("out.ele"), "1 4 0\n0 0 1 2 3\n");
    auto run = [&](const std::string& fibres, const std::string& regions, const std::string& report,
                   ImportedTetMesh& mesh, std::string& error) {
        testfiles::writeText(dir.file("out.fibres"), fibres);
        testfiles::writeText(dir.file("out.regions"), regions);
        testfiles::writeText(dir.file("report"), report);
        MeshImportJob job;
        MeshImportReport imported;
        return job.start(dir.file("in.pts"), MeshImportOptions(), error, defaultMesherLimits(), fake) &&
               job.finish(mesh, imported, error);
    };
    const std::string unit = "1 0 0\n0 1 0\n0 0 0\n0.6 0.8 0\n";
    ImportedTetMesh mesh;
    std::string error;
    ASSERT_TRUE(run(unit, "elem\n-7\n", "mesh 4 1 0 0 0 0 0 0 0 1 0 1\n", mesh, error)) << error;
    ASSERT_EQ(mesh.fibres.size(), 4u);
    EXPECT_EQ(mesh.fibres[3].y, 0.8);
    EXPECT_TRUE(mesh.sheets.empty());
    EXPECT_EQ(mesh.regions, std::vector<int>{-7});
    EXPECT_EQ(mesh.regionSource, "elem");

    EXPECT_FALSE(run("2 0 0\n0 1 0\n0 0 0\n0.6 0.8 0\n", "elem\n1\n", "mesh 4 1 0 0 0 0 0 0 0 1 0 1\n", mesh, error));
    EXPECT_EQ(error, "the mesher wrote a direction that is not a unit vector (.fibres line 1)");
    EXPECT_TRUE(mesh.points.empty());
    EXPECT_FALSE(run("1 0 0\n0 1 0\n0 0 1\n", "elem\n1\n", "mesh 4 1 0 0 0 0 0 0 0 1 0 1\n", mesh, error));
    EXPECT_NE(error.find("invalid directions"), std::string::npos) << error;
    EXPECT_FALSE(run(unit + "1 0 0\n", "elem\n1\n", "mesh 4 1 0 0 0 0 0 0 0 1 0 1\n", mesh, error));
    EXPECT_EQ(error, "the mesher wrote more directions than vertices (.fibres)");
    EXPECT_FALSE(run(unit, "el em\n1\n", "mesh 4 1 0 0 0 0 0 0 0 1 0 1\n", mesh, error));
    EXPECT_EQ(error, "the mesher wrote an invalid region source");
    EXPECT_FALSE(run(unit, "elem\n1\n2\n", "mesh 4 1 0 0 0 0 0 0 0 1 0 1\n", mesh, error));
    EXPECT_EQ(error, "the mesher wrote more region tags than tetrahedra");
    // Sheets without fibres, or a flag cut short, is no report at all.
    EXPECT_FALSE(run(unit, "elem\n1\n", "mesh 4 1 0 0 0 0 0 0 0 0 1 0\n", mesh, error));
    EXPECT_EQ(error, "the mesher ended without a report");
    EXPECT_FALSE(run(unit, "elem\n1\n", "mesh 4 1 0 0 0 0 0 0 0 1\n", mesh, error));
    EXPECT_EQ(error, "the mesher ended without a report");
}

TEST(MesherProcessTest, FibresOfTheMeshGoIntoItsProjectBesideWhatTheProjectHolds) {
    TempDir dir;
    DiagCapture console;
    const std::string base = dir.file("heart");
    ImportedTetMesh mesh;
    mesh.points = {vec3(0, 0, 0), vec3(1, 0, 0), vec3(0, 1, 0), vec3(0, 0, 1)};
    mesh.tets = {{0, 1, 2, 3}};
    mesh.fibres = {vec3(0, 0, 1), vec3(0, 0, 1), vec3(0, 0, 0), vec3(1, 0, 0)};
    std::string error, backup;
    // A new model: a project holding only the frames. Without a sheet the depth direction points
    // away from the centroid, across the fibre; a zero fibre keeps the identity frame.
    ASSERT_TRUE(placeImportedMesh(base, mesh, backup, error)) << error;
    ProjectRecord record;
    ASSERT_TRUE(readProjectFile(base + ".vm", record, error)) << error;
    ASSERT_TRUE(record.endMarkerFound);
    ASSERT_EQ(record.entries.size(), 1u);
    const auto& frames = record.entries[0].frames;
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0][0], vec3(0, 0, 1));
    EXPECT_NEAR(frames[0][1].dot(vec3(-1, -1, 0) / std::sqrt(2.0)), 1.0, 1e-6);
    EXPECT_EQ(frames[2][0], vec3(1, 0, 0));
    EXPECT_EQ(frames[2][2], vec3(0, 0, 1));

    // The same mesh again with other fibres: the project keeps its other records.
    ProjectEntry iterations;
    iterations.key = ProjectKey::IterationN;
    iterations.intValue = 7;
    record.entries.insert(record.entries.begin(), iterations);
    ASSERT_TRUE(writeProjectFile(base + ".vm", record, error)) << error;
    mesh.fibres[0] = vec3(0, 1, 0);
    ASSERT_TRUE(placeImportedMesh(base, mesh, backup, error)) << error;
    EXPECT_EQ(backup, "");
    ASSERT_TRUE(readProjectFile(base + ".vm", record, error)) << error;
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[0].intValue, 7);
    EXPECT_EQ(record.entries[1].frames[0][0], vec3(0, 1, 0));

    // A project that cannot be read whole is left as it is, and the import says why.
    testfiles::writeText(base + ".vm", "#VelmoraSaveFile\n#IterationN");
    EXPECT_FALSE(placeImportedMesh(base, mesh, backup, error));
    EXPECT_NE(error.find("was not read completely"), std::string::npos) << error;
    EXPECT_EQ(testfiles::readText(base + ".vm"), "#VelmoraSaveFile\n#IterationN");
}
