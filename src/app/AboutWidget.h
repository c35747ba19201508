#pragma once

#include <QWidget>

// The About tab: logo, name, version, the maker's links and the platform.
class AboutWidget : public QWidget
{
    Q_OBJECT
public:
    AboutWidget(const QString &version, QWidget *parent = nullptr);

    static QString platformName();
};
