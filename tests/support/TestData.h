#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Files and pictures the tests build their cases from.
namespace TestData {

// The whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
// Replaces the file with `bytes`; false when that fails.
bool writeFile(const QString& path, const QByteArray& bytes);

// A picture whose rows, columns and channels can be told apart, even after
// lossy encoding.
QImage gradient(int width, int height);
} // namespace TestData
