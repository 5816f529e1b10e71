#include "download/http_download.h"

namespace download {

DownloadRequest ActiveDownload;

std::string DownloadResultText(const DownloadRequest& request, int32_t code) {
    switch (code) {
        case kDownloadOk:
            return "#WEB_OK";
        case kBadParameters:
            return "Check download procedure parameters";
        case kOutOfMemory:
            return "Out of memory";
        case kDownloadAborted:
            return "Download aborted";
        case kFileWriteError:
            return "Error writing to the file " + request.FileName;
        case kFileCreateError:
            return "Cannot create the file " + request.FileName;
        case kHttpStatusError:
            return "HTTP status code = " + std::to_string(request.HttpStatus);
        case kInternetOpenError:
            return "Error initializing Internet API";
        case kConnectError:
            return "Error opening the session to the given site";
        case kProxyOptionsError:
            return "Error setting the options for the proxy server";
        case kAuthOptionsError:
            return "Error setting the options for basic authentication";
        case kRequestOpenError:
            return "Error creating the HTTP request handle";
        case kSendError:
            return "Error sending the HTTP request to the server";
        case kStatusReadError:
            return "Error retrieving the HTTP status code";
        case kAddHeaderError:
            return "Error add the HTTP Request Hedears";
        case kReadError:
            return "Error reading data from the opened session";
        case kCloseError:
            return "Error closing the Internet handle";
        case kResumeRefused:
            return "Error HTTP Resume Request";
        case kResumeAttemptsUsedUp:
            return "The maximum number of attempts to resume download reached";
        case kDataRejected:
            return "The downloaded data of " + request.FileName + " failed its check";
    }
    return "Unexpected error = " + std::to_string(code);
}

}  // namespace download
