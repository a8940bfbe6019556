// Project file text: writer layout, reader dispatch, ignored keywords and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "io/ProjectRecord.h"
#include "linalg/Diagnostics.h"

namespace {

ProjectEntry entry(ProjectKey key) {
    ProjectEntry e;
    e.key = key;
    return e;
}

/// Every kind of record once, in the writer's order.
ProjectRecord sampleRecord() {
    ProjectRecord r;
    ProjectEntry phase = entry(ProjectKey::PhaseField);
    TConstraint c;
    c.m_tetVertex[0] = 3;
    c.m_weight[0] = 1.0;
    c.m_target = 0.123456789;
    phase.constraints = {c};
    r.entries.push_back(phase);
    r.entries.push_back(entry(ProjectKey::AmpliField));
    ProjectEntry orien = entry(ProjectKey::OrienField);
    orien.strokes = {TOrientationStroke(3)};
    r.entries.push_back(orien);
    ProjectEntry charts = entry(ProjectKey::GlobalExcitation);
    charts.chartVent = {{0, 0.1}, {0.4, 0.8}};
    charts.chartAtri = {{0, 0}};
    r.entries.push_back(charts);
    ProjectEntry iterations = entry(ProjectKey::IterationN);
    iterations.intValue = 12;
    r.entries.push_back(iterations);
    for (ProjectKey k : {ProjectKey::GlobalAmplitudeVent, ProjectKey::GlobalNumOfWave, ProjectKey::GlobalNumOfWaveA,
                         ProjectKey::GlobalAmplitudeA, ProjectKey::OtherGravity}) {
        ProjectEntry e = entry(k);
        e.realValue = 0.75;
        r.entries.push_back(e);
    }
    ProjectEntry mode = entry(ProjectKey::GlobalPropagationModeA);
    mode.intValue = 1;
    r.entries.push_back(mode);
    ProjectEntry positions = entry(ProjectKey::VtxOrigPos);
    positions.positions = {{1, 2, 3}, {-0.5, 0.25, 1e-7}};
    r.entries.push_back(positions);
    ProjectEntry labels = entry(ProjectKey::VtxIsVentriOrAtrium);
    labels.labels = {1, 2};
    r.entries.push_back(labels);
    ProjectEntry walls = entry(ProjectKey::VentAtriWalls);
    walls.polygonIDs = {0, 4, 2};
    walls.walls[1] = {{0, 1, 0}};
    r.entries.push_back(walls);
    r.endMarkerFound = true;
    return r;
}

std::string format(const ProjectRecord& r) {
    std::string text, error;
    EXPECT_TRUE(formatProjectText(r, text, error)) << error;
    return text;
}

TEST(ProjectRecordTest, WriterLayoutOfTheValueRecords) {
    const std::string text = format(sampleRecord());
    EXPECT_EQ(text.rfind("#VelmoraSaveFile\n#PhaseField\n#SmoothFieldStart\n#m_constraints 1\n"
                         "3 0 0 0 1.000000 0.000000 0.000000 0.000000 0.123457\n",
                         0),
              0u);
    for (const char* line :
         {"\n#GlobalExcitation          \n#FunctionNew\n", "\n#IterationN 12\n", "\n#GlobalAmplitudeVent    0.750000\n",
          "\n#GlobalPropagationModeA 1\n", "\n#OtherGravity           0.750000\n",
          "\n#VtxOrigPos 2\n1.000000 2.000000 3.000000\n-0.500000 0.250000 0.000000\n",
          "\n#VtxIsVentriOrAtrium 2\n1\n2\n",
          "\n#VentAtriWalls\n#PolygonIDs 3\n0\n4\n2\n#VR 0\n#VL 1\n0 1 0\n#AR 0\n#AL 0\n"
          "#VelmoraSaveFileEnd\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(ProjectRecordTest, ParsedFileFormatsToTheSameBytes) {
    const std::string text = format(sampleRecord());
    ProjectRecord read;
    DiagCapture diag;
    parseProjectText(text, read);
    EXPECT_TRUE(read.endMarkerFound);
    EXPECT_EQ(read.damage, "");
    EXPECT_EQ(read.lastToken, "#VelmoraSaveFileEnd");
    EXPECT_EQ(read.entries.size(), sampleRecord().entries.size());
    EXPECT_EQ(format(read), text);
    EXPECT_EQ(diag.text(), "#VelmoraSaveFile\nload global excitation! \n");
    // Reals come back rounded to six decimals.
    EXPECT_EQ(read.entries[0].constraints[0].m_target, 0.123457);
    EXPECT_EQ(read.entries.back().walls[1][0], (TWallTriangle{0, 1, 0}));
}

TEST(ProjectRecordTest, OptionalSettingsAreWrittenOnlyInForceAndReadBack) {
    const std::string plain = format(sampleRecord());
    ProjectRecord r = sampleRecord();
    ProjectEntry rule = entry(ProjectKey::RuleBasedFibres);
    rule.realValue = 55.5;
    rule.realValue2 = -48.25;
    ProjectEntry exponent = entry(ProjectKey::CrossFibreExponent);
    exponent.realValue = -0.5;
    r.entries.push_back(rule);  // intValue 0: not in force
    r.entries.push_back(exponent);
    EXPECT_EQ(format(r), plain);

    r.entries[r.entries.size() - 2].intValue = 1;
    r.entries.back().realValue = 0.125;
    const std::string text = format(r);
    EXPECT_NE(text.find("\n#RuleBasedFibres 55.500000 -48.250000\n#CrossFibreExponent     0.125000\n"
                        "#VelmoraSaveFileEnd\n"),
              std::string::npos)
        << text;
    ProjectRecord read;
    DiagCapture quiet;
    parseProjectText(text, read);
    ASSERT_TRUE(read.endMarkerFound) << read.damage;
    ASSERT_EQ(read.entries.size(), r.entries.size());
    const ProjectEntry& readRule = read.entries[r.entries.size() - 2];
    EXPECT_EQ(readRule.key, ProjectKey::RuleBasedFibres);
    EXPECT_EQ(readRule.intValue, 1);
    EXPECT_EQ(readRule.realValue, 55.5);
    EXPECT_EQ(readRule.realValue2, -48.25);
    EXPECT_EQ(read.entries.back().key, ProjectKey::CrossFibreExponent);
    EXPECT_EQ(read.entries.back().realValue, 0.125);
    EXPECT_EQ(format(read), text);
    // Cut after the first angle: damage, not a half-read setting.
    parseProjectText(text.substr(0, text.find("-48.25")), read);
    EXPECT_FALSE(read.endMarkerFound);
    EXPECT_EQ(read.entries.size(), sampleRecord().entries.size());
}

TEST(ProjectRecordTest, AcceptedButIgnoredKeywordsLeaveNoTrace) {
    const std::string text =
        "#VelmoraSaveFile\n#GlobalVolumePreserve 1\n#GlobalVolumePreserveA 0\n#GlobalAmplitudeVentIn 0.5\n"
        "#GlobalAmplitudeVentOut 0.25\n#OtherFriction 0.1\n"
        "#AponeuroTris #ids 2 4 5 #tris 1 0 1 2 #edges 2 0 1 1 2\n#IterationN 7\n#VelmoraSaveFileEnd\n";
    ProjectRecord read;
    DiagCapture diag;
    parseProjectText(text, read);
    EXPECT_EQ(diag.text(), "#VelmoraSaveFile\n");
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].key, ProjectKey::IterationN);
    EXPECT_EQ(read.entries[0].intValue, 7);
    EXPECT_TRUE(read.endMarkerFound);
}

TEST(ProjectRecordTest, StrangeTokensAreReportedAndSkipped) {
    ProjectRecord read;
    DiagCapture diag;
    parseProjectText("#VelmoraSaveFile #Unknown 3 #IterationN 4 #VelmoraSaveFileEnd", read);
    EXPECT_EQ(diag.text(), "#VelmoraSaveFile\nstrange token #Unknown\nstrange token 3\n");
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].intValue, 4);
}

TEST(ProjectRecordTest, DamageEndsTheReadingAndKeepsTheCompleteRecords) {
    struct Case {
        const char* text;
        size_t entries;
        const char* damage;
    };
    const Case cases[] = {
        {"#VelmoraSaveFile #IterationN 4\n", 1, "ends before #VelmoraSaveFileEnd"},
        {"#VelmoraSaveFile #IterationN 4\n#IterationN 12", 1, "#IterationN: the file ends inside it"},
        {"#VelmoraSaveFile #IterationN 4 #VtxOrigPos 2000000000 1 2 3", 1, "exceeds the data"},
        {"#VelmoraSaveFile #IterationN 4 #VtxOrigPos 1 1 nan 3 #VelmoraSaveFileEnd", 1, "not a finite number"},
        {"#VelmoraSaveFile #IterationN 4 #GlobalNumOfWave 1,5 #VelmoraSaveFileEnd", 1, "'1,5' is not a number"},
        {"#VelmoraSaveFile #IterationN 4 #VtxIsVentriOrAtrium 3 1 1", 1, "count 3 exceeds"},
        {"#VelmoraSaveFile #IterationN 4 #VentAtriWalls #PolygonIDs 0 #VR 0", 1, "unexpected end of file"},
        {"", 0, "empty"},
    };
    for (const Case& c : cases) {
        ProjectRecord read;
        DiagCapture diag;
        parseProjectText(c.text, read);
        EXPECT_FALSE(read.endMarkerFound) << c.text;
        EXPECT_EQ(read.entries.size(), c.entries) << c.text;
        EXPECT_NE(read.damage.find(c.damage), std::string::npos) << c.text << " -> " << read.damage;
    }
}

TEST(ProjectRecordTest, EveryTruncationReadsAPrefixOfTheRecords) {
    const std::string text = format(sampleRecord());
    const size_t endMarker = text.find("#VelmoraSaveFileEnd");
    size_t previous = 0;
    DiagCapture quiet;
    for (size_t length = 0; length < text.size(); ++length) {
        ProjectRecord read;
        parseProjectText(text.substr(0, length), read);
        const bool complete = length >= endMarker + std::string("#VelmoraSaveFileEnd").size();
        ASSERT_EQ(read.endMarkerFound, complete) << length;
        ASSERT_EQ(read.damage.empty(), complete) << length;
        ASSERT_GE(read.entries.size(), previous) << length;
        for (size_t i = 0; i < read.entries.size(); ++i) ASSERT_EQ(read.entries[i].key, sampleRecord().entries[i].key);
        previous = read.entries.size();
    }
    EXPECT_EQ(previous, sampleRecord().entries.size());
}

TEST(ProjectRecordTest, WriterRefusesValuesThatCouldNotBeReadBack) {
    ProjectRecord r = sampleRecord();
    r.entries[3].chartVent[1].second = std::numeric_limits<double>::quiet_NaN();
    std::string text, error;
    EXPECT_FALSE(formatProjectText(r, text, error));
    EXPECT_NE(error.find("#GlobalExcitation"), std::string::npos);
}

}  // namespace
