#pragma once

// The one header a host includes: the framework's facade, event tracking and its seams, and
// the platform services a host drives it with (main loop, notifications, user defaults,
// server routing). None of it brings in libcurl, Beast, ICU or Cairo.

#include "Classes/API/APIManager.h"
#include "Classes/API/APIRequest.h"
#include "Classes/BrelumCore.h"
#include "Classes/DateFactory.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPIGatewayFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/CustomerAPI/CustomerEventTrackingAPI.h"
#include "Classes/EventTracker/Gateway/EventGatewayError.h"
#include "Classes/EventTracker/Gateway/EventTrackingGateway.h"
#include "Classes/EventTracker/Gateway/EventTrackingGatewayFactory.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"
#include "Classes/HTTP/HTTPAdapterFactory.h"
#include "Classes/Log/Debug/DebugLoggerFactory.h"
#include "Classes/Log/Debug/LoggerFactory.h"
#include "Classes/Sockets/SocketManager.h"
#include "Classes/UserSettings.h"
#include "Classes/Utils/JSONMap.h"
#include "Classes/Utils/JSONParser.h"
#include "Classes/Utils/PriceFormatter.h"
#include "Classes/Utils/Reachability.h"
#include "Classes/Utils/StringServerDate.h"
#include "Classes/Utils/TimeInterval.h"
#include "Classes/Utils/URLAppend.h"
#include "Platform/Device/Device.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Foundation/NumberFormatter.h"
#include "Platform/Foundation/TimeZone.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/URLComponents.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "SocketIO/SocketIOClient.h"
#include "SocketIO/SocketManager.h"

namespace brelum {

// The framework's version. The build reads the string, so the two move together.
inline constexpr double BrelumCoreSDKVersionNumber = 1.0;
inline constexpr char BrelumCoreSDKVersionString[] = "1.0";

}  // namespace brelum
