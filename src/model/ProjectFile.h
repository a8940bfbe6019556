// Project files, fibre-stroke files and contraction-chart files on the heart model: conversion
// between the model and the plain records of io, checks against the model, and application.
#pragma once

#include <string>

#include "io/ProjectRecord.h"

class TLSMModel;

/// What became of the project file while a model was loaded.
struct ProjectLoadResult {
    enum class Status {
        NoFile,   ///< there was no project file (or it could not be opened): defaults
        Loaded,   ///< read completely and applied
        Damaged,  ///< reading stopped early; the complete records before the damage were applied
        Refused,  ///< does not match the mesh; nothing applied, the model keeps its defaults
    };
    Status status = Status::NoFile;
    /// Damaged: where and why reading stopped; Refused: the record that does not match.
    std::string message;
};

/// The records of the model in the order a project file holds them.
ProjectRecord projectRecordOf(const TLSMModel& model);

/// Checks a parsed file against the model: the rest positions and the labels must have one entry
/// per vertex, and every vertex index of a constraint, stroke sample or wall triangle must exist.
/// False with the offending record named in reason.
bool checkProjectRecord(const ProjectRecord& record, const TLSMModel& model, std::string& reason);

/// The part of the authored state one record sets.
enum class ProjectEntryKind { Fields, Excitation, Settings, RestShape, Labels, ChamberWalls, Unread };

/// Puts one record's values into the model as they stand: no limits, no recomputed fields, no
/// follow-up work (the callers do what their case needs). Returns what the record sets.
ProjectEntryKind assignProjectEntry(TLSMModel& model, const ProjectEntry& entry);

/// Applies the records in file order (the tensor-field block recomputes depth and frames with the
/// rest positions of that moment), then runs the post-processing: surface, draw order, dialog
/// refresh, contraction tables. An iteration count above 30 (the dialog's limit) is read as 30, so
/// that no file can make a tick endless. The record must have passed checkProjectRecord.
void applyProjectRecord(TLSMModel& model, const ProjectRecord& record);

/// True when the model has kept frames (m_keptFrames) and its frames are still exactly those.
bool keptFramesInForce(const TLSMModel& model);

/// The frames once a project file was applied (by the loader or the autosave restore): the kept
/// frames when they are in force, with the fibre lines traced along them; otherwise fitted to the
/// strokes and depth values (TTensorField::updateOrientation).
void settleFramesAfterProject(TLSMModel& model);

/// Reads path into the model: parse the whole file, check it, then apply it. A file that does not
/// match the mesh is refused as a whole with the message "error vm file is not muched to the tetra
/// mesh" and leaves the model untouched. Called by the model loader.
ProjectLoadResult loadProject(TLSMModel& model, const std::string& path);

/// The save command: confirms "the system save current Control Fields and Deformation Charts in"
/// + path to the user, then writes the model's base path + ".vm". False (and a message to the
/// user) when the file could not be written; the previous file is then intact. Does nothing and
/// returns false without a loaded model.
bool saveProject(const TLSMModel& model);

/// Writes the project file to path without the confirmation. False with the reason in error.
bool saveProjectTo(const TLSMModel& model, const std::string& path, std::string& error);

/// "NAME.vm was not read completely (REASON)" when the model's load refused its project file or
/// read it only in part; "" otherwise.
std::string incompleteProjectNotice(const TLSMModel& model);

/// Whether writing the model's project file would replace one that its load refused or read only
/// in part (the user's data that could not be read would be lost), so that the user must agree
/// first. question then holds "NAME.vm was not read completely (REASON); overwrite it?".
bool projectOverwriteNeedsConsent(const TLSMModel& model, std::string& question);

/// After the model's project file was written whole: the file now holds the model, so later saves
/// of this model ask nothing (m_projectLoad becomes Loaded).
void projectFileWritten(TLSMModel& model);

/// Writes the orientation strokes as points at the rest positions. False (with a message to the
/// user) when the file could not be written.
bool writeStrokeFile(const TLSMModel& model, const std::string& path);

/// Replaces the orientation strokes by those of a stroke file, each point tied to the tetrahedron
/// with the nearest centroid; nothing is recomputed. False (with a console line, strokes unchanged)
/// when the file cannot be read or is malformed, or no model is loaded.
bool readStrokeFile(TLSMModel& model, const std::string& path);

/// Loads a contraction-chart file into the ventricular chart, rebuilds the tables and refreshes the
/// dialogs. False (with a console line, chart unchanged) when the file cannot be read or is
/// malformed, or no model is loaded.
bool loadChartFile(TLSMModel& model, const std::string& path);
