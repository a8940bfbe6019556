// MeshContentCheck: the format by extension, and byte-level cases the readers behind the check
// would mishandle: indices past the vertices, counts that disagree with what follows, layouts the
// line-based readers would read differently.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "meshimport/MeshContentCheck.h"

namespace {

TEST(MeshContentCheckTest, FormatComesFromTheExtensionInAnyLetterCase) {
    EXPECT_EQ(meshFileFormatOf("/data/heart.Stl"), MeshFileFormat::Stl);
    EXPECT_EQ(meshFileFormatOf("HEART.MSH"), MeshFileFormat::Msh);
    EXPECT_EQ(meshFileFormatOf("a.b/heart.Vtk"), MeshFileFormat::Vtk);
    EXPECT_EQ(meshFileFormatOf("heart.VTU"), MeshFileFormat::Vtu);
    EXPECT_EQ(meshFileFormatOf("heart.pvtu"), MeshFileFormat::Unknown);
    EXPECT_EQ(meshFileFormatOf("heart.MeSh"), MeshFileFormat::Medit);
    EXPECT_EQ(meshFileFormatOf("heart.PLY2"), MeshFileFormat::Ply2);
    EXPECT_EQ(meshFileFormatOf("heart.stl.opt"), MeshFileFormat::Unknown);
    EXPECT_EQ(meshFileFormatOf("heart.geo"), MeshFileFormat::Unknown);
    EXPECT_EQ(meshFileFormatOf("/data/.stl"), MeshFileFormat::Unknown);
    EXPECT_EQ(meshFileFormatOf("stl"), MeshFileFormat::Unknown);
    EXPECT_EQ(meshFileFormatOf("dir.stl/heart"), MeshFileFormat::Unknown);
}

/// A binary STL of one triangle with the given 80-byte header start and declared count.
std::string binaryStl(const std::string& header, uint32_t declared, int records) {
    std::string bytes = header + std::string(80 - header.size(), ' ');
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>(declared >> (8 * k) & 0xff);
    const float corners[12] = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0};
    for (int r = 0; r < records; ++r) {
        bytes.append(reinterpret_cast<const char*>(corners), sizeof corners);
        bytes += std::string(2, '\0');
    }
    return bytes;
}

TEST(MeshContentCheckTest, WhatTheReadersWouldMisreadIsRefusedAndWhatTheyReadPasses) {
    const std::string msh2 = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";
    const std::string nodes2 = "$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n$EndNodes\n";
    const std::string vtk =
        "# vtk DataFile Version 3.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 4 float\n"
        "0 0 0 1 0 0 0 1 0 0 0 1\n";
    const std::string vtk51 =
        "# vtk DataFile Version 5.1\nt\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 4 float\n0 0 0 1 0 0 0 1 0 0 0 1\n";
    const std::string vtu =
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\">\n<UnstructuredGrid>\n";
    const std::string medit = "MeshVersionFormatted 2\nDimension 3\nVertices\n4\n0 0 0 1\n1 0 0 1\n0 1 0 1\n0 0 1 1\n";
    // An ascii STL without facets, padded with blanks, which as bytes 80-83 declare 538,976,288
    // binary triangles: the reader falls back to binary when it finds no ascii facet.
    std::string emptySolid = "solid x\nendsolid x\n";
    emptySolid += std::string(84 - emptySolid.size(), ' ');
    std::string scriptAsBinary = "SystemCall \"touch marker\";\n//";
    scriptAsBinary += std::string(80 - scriptAsBinary.size(), ' ') + std::string("\1\0\0\0", 4) + std::string(50, '\0');
    std::string binaryV2 = "$MeshFormat\n2.2 1 8\n";
    binaryV2 +=
        std::string("\1\0\0\0", 4) + "\n$EndMeshFormat\n$Nodes\n1000\n" + std::string(28, '\0') + "\n$EndNodes\n";
    struct Case {
        MeshFileFormat format;
        std::string text, expected;  ///< expected: "" when the file passes
    };
    const std::vector<Case> cases = {
        {MeshFileFormat::Msh, msh2 + nodes2 + "$Elements\n1\n1 4 0 1 2 3 4\n$EndElements\n", ""},
        {MeshFileFormat::Msh, msh2 + nodes2 + "$Elements\n1\n1 4 0 1 2 3\n$EndElements\n",
         "does not have the numbers its type needs"},
        {MeshFileFormat::Msh, msh2 + nodes2 + "$Elements\n2\n1 4 0 1 2 3 4\n$EndElements\n",
         "expected an element, found '$EndElements'"},
        {MeshFileFormat::Msh,
         "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 5 1 5\n3 1 0 4\n1\n2\n3\n4\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n"
         "$EndNodes\n",
         "node blocks hold 4 nodes, not the 5 declared"},
        {MeshFileFormat::Msh, binaryV2, "it declares 1000 nodes, more than the file can hold"},
        {MeshFileFormat::Msh, msh2 + "$Comments\nanything at all\n$EndComments\n" + nodes2, ""},
        {MeshFileFormat::Vtk, vtk + "CELLS 1 5\n4 0 1 2 3\nCELL_TYPES 1\n10\n", ""},
        {MeshFileFormat::Vtk, vtk + "CELLS 1 5\n4 0 1 2 4\nCELL_TYPES 1\n10\n", "cell 0 names point 4 of 4"},
        {MeshFileFormat::Vtk, vtk + "CELLS 2 5\n4 0 1 2 3\n3 0 1 2\nCELL_TYPES 2\n10 5\n",
         "the cells hold more than the 5"},
        {MeshFileFormat::Vtk, vtk + "CELLS 1 5\n4 0 1 2 3\nCELL_TYPES 1\n10\nPOINT_DATA 4\nSCALARS s float\n1 2 3\n",
         "it declares 4 attribute values, more than the file can hold"},
        // Version 5: offsets and connectivity, the offsets rising from 0 to the connectivity's size.
        {MeshFileFormat::Vtk,
         vtk51 + "CELLS 2 4\nOFFSETS vtktypeint64\n0 4\nCONNECTIVITY vtktypeint64\n0 1 2 3\nCELL_TYPES 1\n10\n", ""},
        {MeshFileFormat::Vtk,
         vtk51 + "CELLS 3 4\nOFFSETS vtktypeint64\n0 4 2\nCONNECTIVITY vtktypeint64\n0 1 2 3\nCELL_TYPES 2\n10 10\n",
         "offset 2 is 2; offsets must rise from 0 to the 4 indices declared"},
        // The markup ends where raw appended bytes begin, whatever they hold.
        {MeshFileFormat::Vtu,
         vtu + "<Piece NumberOfPoints=\"4\" NumberOfCells=\"1\"/>\n</UnstructuredGrid>\n"
               "<AppendedData encoding=\"raw\">\n_<!DOCTYPE <\xff\x00",
         ""},
        {MeshFileFormat::Vtu, vtu + "<Piece NumberOfPoints=\"300000000\" NumberOfCells=\"1\">",
         "it declares 300000000 points and 1 cells, more than the 268435455 a model can hold"},
        {MeshFileFormat::Vtu, vtu + "<Piece NumberOfPoints=\"4\" NumberOfCells=\"1\"><Points><DataArray FileName='a'/>",
         "f refers to another file (FileName='a')"},
        {MeshFileFormat::Vtu, vtu + "<Piece NumberOfPoints=\"4\" NumberOfCells=\"1\"></Piece>",
         "the file ends inside the element 'UnstructuredGrid'"},
        {MeshFileFormat::Vtu, "SystemCall \"touch marker\";\n", "f is not a VTK XML file (no VTKFile element)"},
        {MeshFileFormat::Medit, medit + "Tetrahedra\n1\n1 2 3 4 0\nEnd\n", ""},
        {MeshFileFormat::Medit, medit + "Tetrahedra\n1\n1 2 3 5 0\nEnd\n", "Tetrahedra entry 1 names vertex 5 of 4"},
        {MeshFileFormat::Medit, medit + "Tetrahedra 1\n1 2 3 4 0\nEnd\n", "Tetrahedra must stand alone on its line"},
        {MeshFileFormat::Ply2, "4\n1\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 1 4\n", "face 0 names vertex 4 of 4"},
        {MeshFileFormat::Ply2, "4\n1\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n4 0 1 2 3\n", "only triangles can be read"},
        {MeshFileFormat::Stl, binaryStl("solid exported", 1, 1), ""},
        {MeshFileFormat::Stl, binaryStl("", 2, 1), "declares 2 triangles, which take 184 bytes, not 134"},
        {MeshFileFormat::Stl, emptySolid, "the solid holds no facets"},
        // Script text padded with zero bytes to the binary size rule.
        {MeshFileFormat::Stl, scriptAsBinary, "none of its 1 triangles has an area"},
        // The reader takes the lines by position: a vertex on the facet line is not read.
        {MeshFileFormat::Stl,
         "solid x\nfacet normal 0 0 1 outer loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n"
         "endsolid x\n",
         "expected 'facet normal x y z' or 'endsolid'"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        std::string error;
        const bool ok = checkMeshContent(cases[i].format, cases[i].text.data(), cases[i].text.size(), "f", error);
        if (cases[i].expected.empty()) {
            EXPECT_TRUE(ok) << error;
            EXPECT_EQ(error, "");
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(cases[i].expected), std::string::npos) << error;
            EXPECT_EQ(error.compare(0, 2, "f "), 0) << error;
        }
    }
}

}  // namespace
