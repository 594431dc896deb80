#pragma once

#include "core/Context.h"

#include <QString>
#include <cstdint>
#include <initializer_list>

namespace tarvino {

/// The manifest, in the installation, the Update folder and every source.
inline const QString kManifestFile = QStringLiteral("Verzije.txt");
/// Published beside the manifest; only the distribution copies it.
inline const QString kSecondManifestFile = QStringLiteral("VerzijeU.txt");
/// The program every installation keeps beside the suite for remote support.
inline const QString kRemoteSupportProgram = QStringLiteral("TeamViewerQS.exe");

/// The computer whose installation always lies in one fixed folder.
inline const QString kFixedInstallComputer = QStringLiteral("TROVATOSH");
inline const QString kFixedInstallFolder =
    QStringLiteral("D:\\Tarvino software\\Tarvino knjigovodstvo V23\\");

/// The installation folder, ending in the separator: the program's folder, or the
/// fixed folder on that one computer.
QString installationFolder(Context& ctx);

/// Derives the installation, Update, backup, scripts and help folders into the
/// state, each ending in the separator: from the program's folder (or the fixed
/// folder on that one computer) and "WinDir" (without it, the installation
/// folder's "Help").
void IzvediDirektorije(Context& ctx);

/// When one of `folders` is a link or junction (to wherever someone pointed it), the
/// message that refuses to work in it; empty when none is.
QString linkedFolderMessage(Context& ctx, std::initializer_list<QString> folders);

/// The published 7-Zip name of a manifest row: the last three characters become
/// "7z", then "č" becomes "c" and "ž" becomes "z" (lower case only).
QString packedName(const QString& fileName);

/// The last three characters of a file name: the kind of the item.
QString extensionOf(const QString& fileName);

} // namespace tarvino
