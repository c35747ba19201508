#pragma once

#include "FakeHttpServer.h"

// The fake app store of the developer portal: answers the publish upload with a scripted
// JSON answer and records every request. Listens on 127.0.0.1, any free port.
class FakeAppStore : public FakeHttpServer
{
    Q_OBJECT
public:
    static constexpr char UploadPath[] = "/publish-project/api/upload.php";

    explicit FakeAppStore(QObject *parent = nullptr);

    // The portal root to hand to DeveloperPortal::setBaseUrl: "http://127.0.0.1:PORT".
    QString baseUrl() const;
    void setAnswer(const FakeResponse &response) { setResponse(UploadPath, response); }
    QList<FakeRequest> uploads() const { return requestsFor(UploadPath); }

    // A successful answer of exactly bytes bytes (a long "note" fills it up), whose
    // submit_url is "https://store.example/submit?id=42".
    static FakeResponse successOfSize(int bytes);
    // A refusal whose "error" is reason repeated to fill about bytes bytes of answer (whole
    // repeats only, so the JSON stays valid).
    static FakeResponse refusalOfSize(int bytes, const QByteArray &reason, int status = 400);
    // An answer that never ends: a JSON object whose string never closes.
    static FakeResponse endlessAnswer();
    // A whole, valid success, sent a few bytes at a time: never quiet long enough for the
    // inactivity time-out, yet taking bytes / bytesPerTick * ms in all.
    static FakeResponse trickledSuccess(int bytes, int ms, int bytesPerTick = 1);
};
