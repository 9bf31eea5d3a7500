#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

// Files and pictures the tests build their cases from.
namespace TestData {

// The whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
// Replaces the file with `bytes`; false when that fails.
bool writeFile(const QString& path, const QByteArray& bytes);

// A picture whose rows, columns and channels can be told apart, even after
// lossy encoding.
QImage gradient(int width, int height);
// The picture as rows of blue, green, red bytes with `pad` bytes (0xEE)
// after each row, bottom row first when bottomUp.
std::vector<std::uint8_t> bgrRows(const QImage& picture, int pad, bool bottomUp);

} // namespace TestData
