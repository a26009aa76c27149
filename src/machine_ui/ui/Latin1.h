#pragma once

#include <QString>

#include <string>

// Texts cross into widgets as Latin-1, so every 8-bit byte a machine sends survives both ways.
namespace mx40d::ui {

inline QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toLatin1(const QString& text) {
    const QByteArray b = text.toLatin1();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

}  // namespace mx40d::ui
