#pragma once

#include <QString>

// A fingerprint database with known contents, written with plain SQL in the
// daemon's schema (so the daemon keeps it when it opens the file):
//
//  id  kind (mask)                         radio  position            notes
//   1  Cell + WLAN + GPS + NeighborCell 15  WCDMA  60.1699, 24.9384    2 neighbours, 3 APs
//   2  Cell + WLAN + GPS 11                 WCDMA  60.1710, 24.9400    same cell as 1, 2 APs (1 shared), exported
//   3  Cell + GPS + NeighborCell 7          GSM    60.1720, 24.9420    no level, no TA, 1 neighbour without level
//   4  Cell + WLAN 10                       GSM    -                   3 APs, one of them 64-bit
//   5  WLAN + GPS 9                         -      60.1690, 24.9360    1 AP
//   6  Cell + GPS 3                         GSM    latitude 123 (out of range, so no position)
//
// plus rows of a fingerprint 99 that does not exist. Distinct cells: GSM 3,
// WCDMA 1; distinct access points: 7.
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
