#pragma once
// Where the program's file dialogs start (the record, the pictures, the
// saved texts, the workspaces): one folder for all of them, the one a file
// was last chosen in, kept in the user's settings between runs.

#include <QString>

// The folder the last dialog's file was in, while it exists; else the
// documents folder; else the home folder. Never the folder the panel was
// started in.
QString startFolder();

// Keeps the folder of `chosen`, a path a dialog gave, for the next dialog;
// an empty one (the dialog given up) keeps nothing. Returns `chosen`.
QString rememberFolderOf(const QString& chosen);

// The rule of startFolder: the first of `remembered` and `documents` that
// names an existing folder, else the home folder.
QString firstExistingFolder(const QString& remembered, const QString& documents);
