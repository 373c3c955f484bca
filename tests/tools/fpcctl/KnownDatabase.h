#pragma once

#include <QString>

// A fingerprint database with known contents, written with plain SQL in the
// daemon's schema (so the daemon keeps it when it opens the file). Six
// fingerprints a minute apart: #1 WCDMA cell with 2 neighbours, 3 APs and a
// position; #2 its cell, 2 APs (1 shared), a position, exported; #3 GSM cell
// without level or TA, 1 neighbour, a position; #4 GSM cell and 3 APs (one
// 64-bit), no position; #5 1 AP and a position; #6 GSM cell at latitude 123
// (so no position). Plus rows of a fingerprint 99 that does not exist.
namespace KnownDatabase {

constexpr int Total = 6;
constexpr int Drawn = 4;
constexpr int GsmCells = 3;
constexpr int WcdmaCells = 1;
constexpr int AccessPoints = 7;
// Birth of fingerprint 1; each further one is a minute later.
constexpr qint64 FirstBirthMs = 1714557600250; // 2024-05-01T10:00:00.250Z

// Creates the file (it must not exist); false with the failing statement.
bool create(const QString &path, QString *error, bool writeAheadLog = false);
// Runs statements on the file (own connection).
bool execute(const QString &path, const QStringList &statements, QString *error);

} // namespace KnownDatabase
