// LatticeChoice: what the user chose in the simulation-lattice dialog.
#pragma once

/// The lattice sizes the window offers: 500 to 200,000 vertices, 20,000 unless one is in force.
constexpr int kWindowLatticeMinVertices = 500;
constexpr int kWindowLatticeMaxVertices = 200000;
constexpr int kWindowLatticeDefaultVertices = 20000;
/// Models above this many vertices and without a lattice get the suggestion to use one.
constexpr int kSuggestLatticeAboveVertices = 50000;

/// Cancel leaves everything; Off drops the lattice; On asks for one of about `vertices` vertices.
struct LatticeChoice {
    enum class Kind { Cancel, Off, On };
    Kind kind = Kind::Cancel;
    int vertices = 0;
};
