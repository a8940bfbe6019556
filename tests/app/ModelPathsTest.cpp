// The shell's path rules: the load command's case-sensitive extension rule, model names on the
// command line, and file filters for Qt's dialogs.
#include <gtest/gtest.h>

#include "app/ModelPaths.h"

TEST(ModelPathsTest, ChosenFileGivesTheBasePathOnlyForLowerCaseEleAndVm) {
    std::string base;
    ASSERT_TRUE(modelBaseFromChosenFile("/data/heart.ele", base));
    EXPECT_EQ(base, "/data/heart");
    ASSERT_TRUE(modelBaseFromChosenFile("/data/heart.vm", base));
    EXPECT_EQ(base, "/data/heart");
    ASSERT_TRUE(modelBaseFromChosenFile("rel/v1.2/heart.b.ele", base));
    EXPECT_EQ(base, "rel/v1.2/heart.b");
    base = "untouched";
    EXPECT_FALSE(modelBaseFromChosenFile("model.ELE", base));
    EXPECT_FALSE(modelBaseFromChosenFile("model.Vm", base));
    EXPECT_FALSE(modelBaseFromChosenFile("model.node", base));
    EXPECT_FALSE(modelBaseFromChosenFile("model", base));
    EXPECT_FALSE(modelBaseFromChosenFile("dir.ele/model", base));
    EXPECT_FALSE(modelBaseFromChosenFile("model.elem", base));
    EXPECT_EQ(base, "untouched");
    EXPECT_STREQ(kWrongModelExtensionMessage, "Please set *ele or *prcdf!");
}

TEST(ModelPathsTest, CommandLineNameMayBeABasePathOrAMeshOrProjectFile) {
    EXPECT_EQ(modelBaseFromArgument("heart"), "heart");
    EXPECT_EQ(modelBaseFromArgument("/m/heart.ele"), "/m/heart");
    EXPECT_EQ(modelBaseFromArgument("/m/heart.vm"), "/m/heart");
    EXPECT_EQ(modelBaseFromArgument("/m/heart.node"), "/m/heart");
    EXPECT_EQ(modelBaseFromArgument("/m/heart.v2"), "/m/heart.v2");
    EXPECT_EQ(modelBaseFromArgument("/m/x.ele/heart"), "/m/x.ele/heart");
    EXPECT_EQ(modelBaseFromArgument("HEART.ELE"), "HEART.ELE");
}

TEST(ModelPathsTest, FiltersBecomeQtFilterStrings) {
    EXPECT_EQ(qtFileFilter("tetra Mesh / Config file (*.ele;*.vm)|*.ele;*.vm||"),
              "tetra Mesh / Config file (*.ele *.vm)");
    EXPECT_EQ(qtFileFilter("fiber stroke data (*.vmfigstrs)|*.vmfigstrs||"), "fiber stroke data (*.vmfigstrs)");
    EXPECT_EQ(qtFileFilter("Text|*.txt|All (*.*)|*.*||"), "Text (*.txt);;All (*.*)");
    const std::vector<FileFilterEntry> entries = parseFileFilter("A (*.a;*.b)|*.a;*.b|C|*.c||");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].description, "A (*.a;*.b)");
    EXPECT_EQ(entries[0].patterns, (std::vector<std::string>{"*.a", "*.b"}));
    EXPECT_EQ(entries[1].patterns, (std::vector<std::string>{"*.c"}));
    EXPECT_TRUE(parseFileFilter("").empty());
}
