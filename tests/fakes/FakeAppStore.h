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
};
