// Fuzz target: the importer's own content check, run on the input as each of the six formats
// (.msh, .vtk, .vtu, .mesh, .stl, .ply2). Nothing is handed to gmsh here: the check is what stands
// between a file and gmsh, so what it accepts must look like the format it names.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "meshimport/MeshContentCheck.h"

namespace {

bool startsWith(const char* data, size_t size, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return size >= length && std::memcmp(data, prefix, length) == 0;
}

/// White space within a line.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

/// What every accepted file of the format begins with: the lines gmsh and the other readers
/// recognise a file by.
bool looksLike(MeshFileFormat format, const char* data, size_t size) {
    switch (format) {
        case MeshFileFormat::Msh:
            return startsWith(data, size, "$MeshFormat\n") || startsWith(data, size, "$MeshFormat\r\n");
        case MeshFileFormat::Vtk:
            return startsWith(data, size, "# vtk DataFile Version ");
        case MeshFileFormat::Vtu:
            return std::string_view(data, size).find("<VTKFile") != std::string_view::npos;
        case MeshFileFormat::Medit: {
            size_t i = 0;
            while (i < size && isBlank(data[i])) ++i;
            return startsWith(data + i, size - i, "MeshVersionFormatted");
        }
        case MeshFileFormat::Stl: {
            if (startsWith(data, size, "solid") || startsWith(data, size, "SOLID")) return true;
            if (size < 84) return false;
            const auto* b = reinterpret_cast<const unsigned char*>(data + 80);
            const uint64_t triangles =
                uint64_t(b[0]) | uint64_t(b[1]) << 8 | uint64_t(b[2]) << 16 | uint64_t(b[3]) << 24;
            return size == 84 + 50 * triangles;
        }
        case MeshFileFormat::Ply2: {
            size_t i = 0;
            while (i < size && isBlank(data[i])) ++i;
            return i < size && ((data[i] >= '0' && data[i] <= '9') || data[i] == '+');
        }
        case MeshFileFormat::Unknown:
            break;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const char* data = reinterpret_cast<const char*>(bytes);
    const std::string name = "heart.x";
    for (MeshFileFormat format : {MeshFileFormat::Msh, MeshFileFormat::Vtk, MeshFileFormat::Vtu, MeshFileFormat::Medit,
                                  MeshFileFormat::Stl, MeshFileFormat::Ply2}) {
        std::string error = "left over";
        const bool ok = checkMeshContent(format, data, size, name, error);
        // A refusal is one line that names the file; an acceptance clears the error.
        if (ok != error.empty()) std::abort();
        if (!ok &&
            (error.compare(0, name.size(), name) != 0 || error.find('\n') != std::string::npos || error.size() > 400))
            std::abort();
        if (ok && !looksLike(format, data, size)) std::abort();
        // The same bytes give the same answer.
        std::string again;
        if (checkMeshContent(format, data, size, name, again) != ok || again != error) std::abort();
    }
    return 0;
}
