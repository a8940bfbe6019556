// Hand-made hostile files for every reader (TetGen pair, project file, stroke file, chart file):
// counts far beyond the file, indices out of range or negative, NaN and infinite numbers, truncated
// records, overlong tokens, binary garbage and empty files. Each is refused or loaded in part with
// a message naming the fault, leaves the model as it was (or as the documented partial load says),
// and takes no more memory than the file's size justifies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/AllocationProbe.h"
#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "io/TextTokens.h"
#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"
#include "model/ShellHooks.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::TempDir;
using testfiles::writeText;

/// What reading a file of fileBytes may allocate: a few copies of the text and the records it can
/// hold (the densest record, a tetrahedron of five one-digit tokens, is 128 bytes for 10 bytes of
/// text), plus a fixed allowance for messages and small bookkeeping.
size_t allowedBytes(size_t fileBytes) { return 64 * fileBytes + 64 * 1024; }

/// Bytes from a fixed seed: the same "binary file" on every run.
std::string binaryGarbage(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xff);
    return bytes;
}

size_t longestLine(const std::string& text) {
    size_t longest = 0, start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

struct Case {
    const char* what;      ///< the kind of fault, shown when the case fails
    std::string text;      ///< file content (for TetGen: the .node file)
    std::string ele;       ///< TetGen only: the .ele file
    std::string expected;  ///< a piece of the message that names the fault
};

/// Messages the user sees through the shell.
struct RecordingShell : ShellHooks {
    RecordingShell() { m_previous = setShellHooks(this); }
    ~RecordingShell() override { setShellHooks(m_previous); }
    void showMessage(const std::string& text) override { messages += text; }
    void refreshDialogs() override {}
    std::string messages;
    ShellHooks* m_previous = nullptr;
};

const std::string kNode = "5 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n4 1 1 1\n";
const std::string kEle = "2 4 0\n0 0 1 2 3\n1 4 1 3 2\n";

TEST(BadTetGenFilesTest, EachIsRefusedWithOneMessageInBoundedMemory) {
    const std::string longDigits(1 << 20, '7');
    const std::vector<Case> cases = {
        {"announced vertex count", "1000000 3 0 0\n0 0 0 0\n", kEle, "vertex count exceeds what the file holds"},
        {"announced attributes", "2 3 900 0\n0 0 0 0 1\n1 1 1 1 1\n", kEle, "vertex count exceeds"},
        {"announced tetrahedra", kNode, "1000000 4 0\n0 0 1 2 3\n", "tetrahedron count exceeds"},
        {"negative corner", kNode, "1 4 0\n0 0 -7 2 3\n", "corner index -7 out of range"},
        {"corner beyond int", kNode, "1 4 0\n0 0 1 2 4294967296\n", "corner index 4294967296 out of range"},
        {"negative attribute count", "5 3 -1 0\n", kEle, "attribute count out of range"},
        {"NaN count", "nan 3 0 0\n", kEle, "expected an integer for vertex count, found 'nan'"},
        {"infinite coordinate", "1 3 0 0\n0 0 -inf 0\n", "0 4 0\n", "non-finite y coordinate"},
        {"truncated vertex", "2 3 0 0\n0 0 0 0\n1 1 1", "0 4 0\n", "file ends before z coordinate"},
        {"truncated tetrahedron", kNode, "2 4 0\n0 0 1 2 3\n1 4 1", "tetrahedron count exceeds what the file holds"},
        {"truncated last corner", kNode, "2 4 0\n0 0 1 2 3\n1 4 1 3 \n\n\n\n", "file ends before corner index"},
        {"overlong number", "1 3 0 0\n0 " + longDigits + " 0 0\n", "0 4 0\n", "non-finite x coordinate"},
        {"overlong integer", kNode, "1 4 0\n0 " + longDigits + " 1 2 3\n", "expected an integer for corner index"},
        {"binary .node", binaryGarbage(4096, 1), kEle, "expected an integer for vertex count"},
        {"binary .ele", kNode, "\x01\x02\x03" + binaryGarbage(4096, 2), "expected an integer for tetrahedron count"},
        {"empty .ele", kNode, "", "file ends before tetrahedron count"},
        // Scaling to the model size would overflow or divide by nearly nothing (a model of NaNs).
        {"coordinate too large", "2 3 0 0\n0 0 0 0\n1 1 -3e60 0\n", kEle, "y coordinate -3e60 is beyond +-1e60"},
        {"span too small", "4 3 0 0\n0 0 0 0\n1 1e-320 0 0\n2 0 1e-320 0\n3 0 0 1e-320\n", "1 4 0\n0 0 1 2 3\n",
         "less than the 1e-60 a mesh needs to be scaled"},
        // Columns the header does not announce would shift every later value into the wrong place.
        {"unannounced attributes", "2 3 0 0\n0 0 0 0 7\n1 1 1 1 7\n", kEle,
         "a line holds more values than the header announces for one vertex"},
        {"five corners on a four-node line", kNode, "2 4 0\n0 0 1 2 3 4\n1 4 1 3 2 0\n",
         "a line holds more values than the header announces for one tetrahedron"},
        {"a vertex line short of a value", "3 3 0 0\n0 0 0 0\n1 1 1\n2 2 2 2\n", kEle,
         "a line holds fewer values than the header announces for one vertex"},
        {"announced markers missing", "2 3 0 1\n0 0 0 0\n1 1 1 1\n2 2 2 2\n", kEle,
         "a line holds fewer values than the header announces for one vertex"},
    };
    TempDir dir;
    const std::string base = dir.file("bad");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(base + ".node", c.text);
        writeText(base + ".ele", c.ele);
        TLSMModel model;
        DiagCapture diag;
        bool loaded;
        size_t largest, growth;
        {
            AllocationProbe probe;
            loaded = model.loadModel(base);
            largest = probe.largestBlock();
            growth = probe.peakGrowth();
        }
        EXPECT_FALSE(loaded);
        EXPECT_TRUE(diag.contains(c.expected)) << diag.text().substr(0, 300);
        EXPECT_TRUE(model.m_verts.empty() && model.m_tets.empty());
        const size_t allowed = allowedBytes(c.text.size() + c.ele.size());
        EXPECT_LE(largest, allowed);
        EXPECT_LE(growth, allowed);
    }
}

TEST(BadTetGenFilesTest, MeshesAtTheLimitsOfSizeLoadIntoFiniteModels) {
    const struct {
        const char* what;
        double scale, offset;
    } cases[] = {{"tiny", 1e-59, 0.0}, {"huge", 1e59, 0.0}, {"far from the origin", 1e50, -9e59}};
    TempDir dir;
    const std::string base = dir.file("limits");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string node = "4 3 0 0\n";
        const double corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        for (int v = 0; v < 4; ++v) {
            char line[160];
            std::snprintf(line, sizeof line, "%d %.17g %.17g %.17g\n", v, c.offset + c.scale * corners[v][0],
                          c.offset + c.scale * corners[v][1], c.offset + c.scale * corners[v][2]);
            node += line;
        }
        writeText(base + ".node", node);
        writeText(base + ".ele", "1 4 0\n0 0 1 2 3\n");
        DiagCapture quiet;
        TLSMModel model;
        ASSERT_TRUE(model.loadModel(base)) << quiet.text();
        for (const vec3& p : model.m_vtxOrigPos) EXPECT_TRUE(isFinite(p));
        EXPECT_NEAR(distance(model.m_vtxOrigPos[0], model.m_vtxOrigPos[1]), 10.0, 1e-6);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(tetFaceNormal(model.m_vtxOrigPos.data(), model.m_tets[0], k).norm(), 1.0, 1e-9);
    }
}

/// Pairs that pass the reader but give a mesh with nothing in it, and odd but sound meshes. The
/// empty ones are refused by the loading sequence with a reason (so the CLI exits 1, Python
/// raises and the window shows its load-failure box); the sound ones load into a model whose
/// indices all exist, whose surface can be drawn and whose beat stays finite.
TEST(BadTetGenFilesTest, EmptyMeshesAreRefusedAndOddSoundOnesLoadIntoAModelThatBeats) {
    const std::string four = "4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n";
    const std::string five = "5 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n4 9 9 9\n";
    const std::string one = "1 4 0\n0 0 1 2 3\n";
    std::string scattered = "1200 3 0 0\n";  // the tube's vertex count, but not the tube
    std::mt19937 random(7);
    for (int i = 0; i < 1200; ++i)
        scattered += std::to_string(i) + " " + std::to_string(random() % 1000) + " " + std::to_string(random() % 1000) +
                     " " + std::to_string(random() % 1000) + "\n";
    const struct {
        const char* what;
        std::string node, ele;
        const char* refusal;  ///< a piece of the reason; nullptr: the mesh loads
        const char* note;     ///< a console line a load must print ("" for none)
    } cases[] = {
        {"header-only pair", "0 3 0 0\n", "0 4 0\n", ".node holds no vertices: the mesh is empty", ""},
        {"vertices without tetrahedra", four, "0 4 0\n", ".ele holds no tetrahedra: the mesh is empty", ""},
        {"one vertex", "1 3 0 0\n0 5 5 5\n", "1 4 0\n0 0 0 0 0\n", "has a volume", ""},
        {"every tetrahedron flat", "4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 1 1 0\n", one, "has a volume", ""},
        {"every vertex at one point", "4 3 0 0\n0 1 1 1\n1 1 1 1\n2 1 1 1\n3 1 1 1\n", one, "has a volume", ""},
        {"every tetrahedron repeats a corner", four, "2 4 0\n0 0 0 1 2\n1 3 3 3 3\n", "has a volume", ""},
        {"one tetrahedron listed twice", four, "2 4 0\n0 0 1 2 3\n1 1 0 2 3\n", "the mesh has no surface", ""},
        {"a single tetrahedron", four, one, nullptr, ""},
        {"a single inverted tetrahedron", four, "1 4 0\n0 0 2 1 3\n", nullptr, "1 of 1 tetrahedra are inverted"},
        {"a vertex no tetrahedron uses", five, one, nullptr, "1 of 5 vertices belong to no tetrahedron"},
        {"1200 vertices and one tetrahedron", scattered, one, nullptr,
         "1196 of 1200 vertices belong to no tetrahedron"},
        {"TetGen's 1-based numbering, attributes and markers",
         "4 3 1 1\n1 0 0 0 7 1\n2 1 0 0 7 1\n3 0 1 0 7 0\n4 0 0 1 7 1\n", "1 4 1\n1 1 2 3 4 2\n", nullptr,
         "read as 1-based"},
        {"a vertex of a 1-based file unused", five, "1 4 0\n1 1 2 3 4\n", nullptr,
         "1 of 5 vertices belong to no tetrahedron"},
        {"two tetrahedra sharing only an edge", "6 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n4 -1 0 0\n5 0 -1 0\n",
         "2 4 0\n0 0 1 2 3\n1 0 3 4 5\n", nullptr, ""},
        {"three tetrahedra on one face", "6 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n4 0 0 -1\n5 0.2 0.2 1\n",
         "3 4 0\n0 0 1 2 3\n1 0 2 1 4\n2 0 1 2 5\n", nullptr, "error in calcNeighbor()"},
        {"CR LF line ends", "4 3 0 0\r\n0 0 0 0\r\n1 1 0 0\r\n2 0 1 0\r\n3 0 0 1\r\n", "1 4 0\r\n0 0 1 2 3\r\n",
         nullptr, ""},
        // Scaled to the model's size the tetrahedron is far below the rounding of its position.
        {"a tiny tetrahedron beside a far vertex",
         "5 3 0 0\n0 0 0 0\n1 1e-12 0 0\n2 0 1e-12 0\n3 0 0 1e-12\n4 1e50 0 0\n", one, "has a volume", ""},
    };
    TempDir dir;
    const std::string base = dir.file("crafted");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(base + ".node", c.node);
        writeText(base + ".ele", c.ele);
        DiagCapture diag;
        TLSMModel model;
        std::string reason;
        const bool loaded = model.loadModel(base, &reason);
        if (c.refusal) {
            EXPECT_FALSE(loaded);
            EXPECT_NE(reason.find(c.refusal), std::string::npos) << reason;
            EXPECT_NE(reason.find(base), std::string::npos) << reason;
            EXPECT_TRUE(model.m_verts.empty() && model.m_tets.empty() && !model.m_excitation);
            continue;
        }
        ASSERT_TRUE(loaded) << reason;
        EXPECT_TRUE(diag.contains(c.note)) << diag.text();
        const int n = model.vertexCount();
        for (const Tetra& t : model.m_tets)
            for (int k = 0; k < 4; ++k) {
                EXPECT_TRUE(t.vIdx[k] >= 0 && t.vIdx[k] < n);
                EXPECT_TRUE(t.nbr[k] >= -1 && t.nbr[k] < static_cast<int>(model.m_tets.size()));
            }
        EXPECT_GT(model.m_surface.polyCount(), 0);
        // A contraction over the whole cycle moves every used vertex; the beat must stay finite.
        model.m_vtxIsVentriOrAtrium.assign(n, 1);
        model.m_excitation->m_chartVent = {{0.0, 0.0}, {0.3, 1.0}, {0.6, 0.0}};
        buildTables(*model.m_excitation);
        for (int tick = 1; tick <= 40; ++tick) model.updateModel(tick * 0.01, 0.01);
        for (const vec3& p : model.m_verts) ASSERT_TRUE(isFinite(p));
        for (double v : model.computeChamberVolumes()) EXPECT_TRUE(std::isfinite(v));
    }
}

/// One small model for the files that are applied to a mesh: 27 vertices, 48 tetrahedra.
class BadModelFilesTest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        testmesh::writeTetGen(testmesh::cube(2), s_dir->file("cube"));
        DiagCapture quiet;
        s_model = new TLSMModel;
        ASSERT_TRUE(s_model->loadModel(s_dir->file("cube")));
    }
    static void TearDownTestSuite() {
        delete s_model;
        delete s_dir;
    }

    /// Runs load on a file holding text; returns the console text and checks the memory bound.
    template <class Load>
    std::string loadBounded(const std::string& path, const std::string& text, Load load) {
        writeText(path, text);
        DiagCapture diag;
        size_t largest, growth;
        {
            AllocationProbe probe;
            load();
            largest = probe.largestBlock();
            growth = probe.peakGrowth();
        }
        EXPECT_LE(largest, allowedBytes(text.size()));
        EXPECT_LE(growth, allowedBytes(text.size()));
        return diag.text();
    }

    static TempDir* s_dir;
    static TLSMModel* s_model;
};
TempDir* BadModelFilesTest::s_dir = nullptr;
TLSMModel* BadModelFilesTest::s_model = nullptr;

std::string project(const std::string& records) { return "#VelmoraSaveFile\n" + records + "#VelmoraSaveFileEnd\n"; }

TEST_F(BadModelFilesTest, ProjectFilesAreRefusedOrCutAtTheFaultInBoundedMemory) {
    using Status = ProjectLoadResult::Status;
    struct ProjectCase {
        Case file;
        Status status;
    };
    const std::string smooth = "#SmoothFieldStart\n#m_constraints ";
    const std::string longKeyword = "#" + std::string(1 << 20, 'K');
    const std::vector<ProjectCase> cases = {
        {{"announced positions", project("#VtxOrigPos 1000000\n0 0 0\n"), "", "count 1000000 exceeds the data"},
         Status::Damaged},
        {{"announced constraints", project("#PhaseField\n" + smooth + "1000000\n0 1 2 3 1 0 0 0 1\n"), "",
          "count 1000000 exceeds"},
         Status::Damaged},
        {{"announced strokes",
          project("#OrienField\n#TensorField\n" + smooth + "0\n#SmoothFieldStart\n#m_strokes 1000000\n"), "",
          "count 1000000 exceeds"},
         Status::Damaged},
        {{"announced samples",
          project("#OrienField\n#TensorField\n" + smooth + "0\n#SmoothFieldStart\n#m_strokes 1\n#stroke 900000\n"), "",
          "count 900000 exceeds"},
         Status::Damaged},
        {{"announced chart points", project("#GlobalExcitation\n#FunctionNew\nconstraints 1000000\n0 0\n"), "",
          "count 1000000 exceeds"},
         Status::Damaged},
        {{"announced wall triangles", project("#VentAtriWalls\n#PolygonIDs 0\n#VR 1000000\n0 1 2\n"), "",
          "count 1000000 exceeds"},
         Status::Damaged},
        {{"negative count", project("#VtxIsVentriOrAtrium -5\n"), "", "negative count -5"}, Status::Damaged},
        {{"constraint vertex out of range",
          project("#AmpliField\n" + smooth + "1\n0 1 2 27 1 0 0 0 1\n#SmoothFieldStart\n"), "",
          "refers to vertex 27 of a 27-vertex mesh"},
         Status::Refused},
        {{"negative wall vertex", project("#VentAtriWalls\n#PolygonIDs 0\n#VR 1\n0 -3 2\n#VL 0\n#AR 0\n#AL 0\n"), "",
          "refers to vertex -3"},
         Status::Refused},
        {{"NaN value", project("#GlobalNumOfWave nan\n"), "", "'nan' is not a finite number"}, Status::Damaged},
        {{"infinite weight", project("#PhaseField\n" + smooth + "1\n0 1 2 3 1e999 0 0 0 1\n#SmoothFieldStart\n"), "",
          "'1e999' is not a number"},
         Status::Damaged},
        {{"truncated record", "#VelmoraSaveFile\n#PhaseField\n" + smooth + "1\n0 1 2 3 0.25", "",
          "count 1 exceeds the data that follows"},
         Status::Damaged},
        {{"overlong keyword", project(longKeyword + "\n"), "", "strange token #KKKK"}, Status::Loaded},
        {{"binary garbage", binaryGarbage(4096, 3), "", "is damaged"}, Status::Damaged},
        {{"empty file", "", "", "the file is empty"}, Status::Damaged},
    };
    const std::string path = s_dir->file("cube.vm");
    TLSMModel& model = *s_model;
    const std::vector<vec3> positions = model.m_vtxOrigPos;
    for (const ProjectCase& c : cases) {
        SCOPED_TRACE(c.file.what);
        RecordingShell shell;
        ProjectLoadResult result;
        const std::string diag = loadBounded(path, c.file.text, [&] { result = loadProject(model, path); });
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_NE((diag + shell.messages).find(c.file.expected), std::string::npos)
            << (diag + shell.messages)
                   .substr((diag + shell.messages).size() > 600 ? (diag + shell.messages).size() - 600 : 0);
        if (c.status != Status::Loaded) {
            EXPECT_FALSE(shell.messages.empty());  // the user is told
        }
        // No case reached the positions: the model keeps its rest shape.
        EXPECT_EQ(model.m_vtxOrigPos, positions);
        EXPECT_EQ(model.m_vtxIsVentriOrAtrium.size(), positions.size());
        // Tokens are shown cut short and escaped, whatever their length and bytes in the file.
        EXPECT_LE(longestLine(diag), 4 * TextReader::kShownTokenLength + 200);
    }
}

TEST_F(BadModelFilesTest, IterationCountsBeyondTheDialogsRangeAreCappedSoATickEnds) {
    const struct {
        const char* value;
        int expected;
        bool told;
    } cases[] = {{"2147483647", 30, true}, {"31", 30, true}, {"30", 30, false}, {"7", 7, false}, {"-2", -2, false}};
    const std::string path = s_dir->file("cube.vm");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        writeText(path, project(std::string("#IterationN ") + c.value + "\n"));
        DiagCapture diag;
        const ProjectLoadResult result = loadProject(*s_model, path);
        EXPECT_EQ(result.status, ProjectLoadResult::Status::Loaded);
        EXPECT_EQ(s_model->m_iterationN, c.expected);
        EXPECT_EQ(diag.contains("#IterationN " + std::string(c.value) + " is more than the 30 iterations"), c.told)
            << diag.text();
    }
}

TEST_F(BadModelFilesTest, StrokeFilesAreRefusedWithoutTouchingTheStrokes) {
    const std::vector<Case> cases = {
        {"announced strokes", "strokeInfo 1000000\nstroke 0 0\nend\n", "", "count 1000000 exceeds"},
        {"announced samples", "strokeInfo 1\nstroke 0 1000000\n0 0 0\nend\n", "", "count 1000000 exceeds"},
        {"negative count", "strokeInfo -1\nend\n", "", "negative count -1"},
        {"NaN coordinate", "strokeInfo 1\nstroke 0 1\n0 nan 0\nend\n", "", "'nan' is not a finite number"},
        {"infinite coordinate", "strokeInfo 1\nstroke 0 1\n0 0 -1e400\nend\n", "", "'-1e400' is not a number"},
        {"truncated", "strokeInfo 2\nstroke 0 1\n0 0 0\nstroke 1 1\n1 1", "", "count 1 exceeds"},
        {"no closing token", "strokeInfo 1\nstroke 0 1\n0 0 0\n", "", "unexpected end of file"},
        {"overlong token", "strokeInfo 1\nstroke 0 1\n0 " + std::string(1 << 20, '9') + " 0\nend\n", "",
         "'" + std::string(64, '9') + "...' is not a number"},
        {"binary garbage", binaryGarbage(4096, 4), "", "is not an integer"},
        {"empty file", "", "", "unexpected end of file"},
    };
    TLSMModel& model = *s_model;
    model.m_orienField.m_strokes = {{TTetSample()}};
    const std::string path = s_dir->file("bad.vmfigstrs");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool read = true;
        const std::string diag = loadBounded(path, c.text, [&] { read = readStrokeFile(model, path); });
        EXPECT_FALSE(read);
        EXPECT_NE(diag.find(c.expected), std::string::npos) << diag.substr(0, 300);
        EXPECT_NE(diag.find("readStrokeFile: " + path), std::string::npos) << diag.substr(0, 300);
        ASSERT_EQ(model.m_orienField.m_strokes.size(), 1u);
    }
}

TEST_F(BadModelFilesTest, ChartFilesAreRefusedWithoutTouchingTheChart) {
    const std::vector<Case> cases = {
        {"negative count", "chart -4\n0 0.5\n", "", "no point count"},
        {"NaN count", "chart nan\n0 0.5\n", "", "'nan' is not an integer"},
        {"NaN value", "chart 2\n0 0.5\n0.5 nan\n", "", "'nan' is not a finite number"},
        {"infinite value", "chart 2\n0 0.5\ninf 0.1\n", "", "'inf' is not a finite number"},
        {"overlong token", "chart 1\n" + std::string(1 << 20, '1') + " 0.5\n", "", "is not a number"},
        {"binary garbage", "chart 3\n" + binaryGarbage(4096, 5), "", "is not a number"},
        {"empty file", "", "", "is empty"},
    };
    TLSMModel& model = *s_model;
    model.m_excitation->m_chartVent = {{0.0, 0.2}, {0.5, 0.8}};
    const TChart chart = model.m_excitation->m_chartVent;
    const std::string path = s_dir->file("bad.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool loaded = true;
        const std::string diag = loadBounded(path, c.text, [&] { loaded = loadChartFile(model, path); });
        EXPECT_FALSE(loaded);
        EXPECT_NE(diag.find(c.expected), std::string::npos) << diag.substr(0, 300);
        EXPECT_EQ(model.m_excitation->m_chartVent, chart);
    }
    // Counts beyond the file are the documented exception: the pairs present load, in bounded memory.
    bool loaded = false;
    loadBounded(path, "chart 1000000000\n0 0.5\n0.5 0.9\n", [&] { loaded = loadChartFile(model, path); });
    EXPECT_TRUE(loaded);
    EXPECT_EQ(model.m_excitation->m_chartVent, (TChart{{0.0, 0.5}, {0.5, 0.9}}));
}

}  // namespace
