#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class QNetworkReply;

// The assistant's tools without the tab: how their inputs are read, which file names and
// drawings they accept, and how their answers are bounded. The model's input is untrusted:
// it may hold any JSON value, any file name and any SVG.
namespace AiToolRules {

// The text of a string parameter; a missing key or any other JSON type gives "".
QString stringInput(const QJsonObject &input, const QString &key);

// "width" and "height": 256 when the key is missing; a whole JSON number as it is (held to
// the int range, so 1e10 cannot overflow); anything else (a fraction, a string, null) 0.
int sizeInput(const QJsonObject &input, const QString &key);

// A drawn image's side: 16..1024 pixels.
int clampImageSide(int side);

// True unless the project's folder or its src/ is a link: each, where it exists, must be
// the very folder the workspace names, not one elsewhere that a link leads to.
bool projectFoldersAreOwn(const QString &project);

// The path of src/name in the project when the tools may read or write it: a safe name,
// folders that are the project's own, and an entry that, when it exists, is not a symlink.
// A safe name is one the tab itself could make (DeveloperWorkspace::isValidProjectFilename).
// Empty when refused.
QString projectFilePath(const QString &project, const QString &name);

// True unless the drawing would pull in a picture from outside itself: every <image> must
// hold a base64 data: URL of a raster picture (a file path or address would draw a local
// file into the icon, and an embedded SVG could do so in turn), and no entity may be
// declared. Says nothing about whether the SVG is otherwise valid.
bool svgIsSelfContained(const QByteArray &svg);

// The eight bytes every PNG file starts with.
bool hasPngSignature(const QByteArray &data);
// A whole PNG of at most maxPixels pixels: the size its header declares is checked before
// anything is decoded, then every pixel must decode (a damaged body behind a sound header
// is refused).
bool isWholePngWithin(const QByteArray &data, qint64 maxPixels);

// What one answer passes on at most. Tool answers stay in the conversation and go out with
// every later request, and the radio is whatever device answers on the LAN.
inline constexpr int RadioTextChars = 200; // each radio text, such as a model name
inline constexpr int ErrorTextChars = 1024; // an error text that carries radio or portal words
inline constexpr int MaxListedFiles = 300; // names in one list_files answer

// At most maxChars characters: a longer text keeps its start and ends with "…".
QString cut(const QString &text, int maxChars);

// Why a radio request failed, as the tab passes it on: an HTTP error by its status code only
// (the reason phrase is the radio's own words, of any length and content), a refused answer
// as too large, anything else by the network layer's text; at most ErrorTextChars.
QString radioErrorText(const QNetworkReply *reply);

// The text with the workspace's absolute paths made relative: the project's own files as
// "src/app.qml" or "output/demo.tar", and nothing that names the home folder (and with it the
// account name).
QString withoutAbsolutePaths(const QString &text, const QString &project);

// The end of text that fits maxBytes of UTF-8, starting at the beginning of a line when
// one begins in it. cut tells whether anything was left out.
QString textTail(const QString &text, int maxBytes, bool *cut);

} // namespace AiToolRules
