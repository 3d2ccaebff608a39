// The names of the product and of its service, the same in every build.
#pragma once

// "Velmora·网页定时刷新工具", the product name (code page 936).
inline constexpr char kProductName[] =
    "Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf";

// "Velmora·网页定时刷新工具 系统服务", the service's description (code page 936).
inline constexpr char kServiceDescription[] =
    "Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf"
    " \xcf\xb5\xcd\xb3\xb7\xfe\xce\xf1";

// The service's name, also the source of its events.
inline constexpr char kServiceName[] = "VlmRefresh";
