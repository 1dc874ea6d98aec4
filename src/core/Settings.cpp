#include "core/Settings.h"

#include <QSettings>

namespace backreel {

namespace {
const QString kOrganization = QStringLiteral("strandloft");
const QString kApplication = QStringLiteral("Backreel");
} // namespace

bool Settings::boolValue(const QString& key) {
    QSettings settings(kOrganization, kApplication);
    const QVariant value = settings.value(key);
    if (!value.isValid()) {
        return false;
    }
    // QSettings' native format stores text; a boolean reads back as "true" or "false".
    const QString text = value.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

void Settings::setBoolValue(const QString& key, bool value) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(key, value);
    settings.sync();
}

std::optional<std::int64_t> Settings::integerValue(const QString& key) {
    QSettings settings(kOrganization, kApplication);
    bool isNumber = false;
    const qlonglong value = settings.value(key).toString().trimmed().toLongLong(&isNumber);
    if (!isNumber) {
        return std::nullopt;
    }
    return value;
}

void Settings::setIntegerValue(const QString& key, std::int64_t value) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(key, static_cast<qlonglong>(value));
    settings.sync();
}

std::optional<QString> Settings::stringValue(const QString& key) {
    QSettings settings(kOrganization, kApplication);
    const QVariant value = settings.value(key);
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString();
}

void Settings::setStringValue(const QString& key, const QString& value) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(key, value);
    settings.sync();
}

void Settings::remove(const QString& key) {
    QSettings settings(kOrganization, kApplication);
    settings.remove(key);
    settings.sync();
}

} // namespace backreel
