// Device arrival and removal: windows register for notifications; a udev monitor thread turns
// USB disks coming and going into WM_DEVICECHANGE with a "USBSTOR" device path.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/textconv.h"
#include "platform/wnd/wndobj.h"

#ifdef KESTREL_HAVE_UDEV
#include <libudev.h>
#include <poll.h>
#endif

namespace {

struct Registration {
  HWND hwnd;
};

struct DevState {
  std::mutex m;
  std::vector<std::unique_ptr<Registration>> regs;
  bool monitorStarted = false;
};
DevState& Dev() {
  static DevState& d = *new DevState;
  return d;
}

// The disk interface class that USB disks announce.
constexpr GUID kDiskInterface = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

// Device path parts keep letters, digits and a few signs; spaces become underscores.
CString PathPart(const CString& s) {
  CString out;
  for (int i = 0; i < s.GetLength(); ++i) {
    char16_t c = s[i];
    if (c == u' ') c = u'_';
    if (c < 0x20 || c == u'#' || c == u'\\' || c == u'&') continue;
    out += c;
  }
  return out;
}

#ifdef KESTREL_HAVE_UDEV
CString Prop(udev_device* d, const char* name) {
  const char* v = udev_device_get_property_value(d, name);
  return v ? CString(std::string_view(v)) : CString();
}

void MonitorLoop() {
  udev* u = udev_new();
  if (!u) return;
  udev_monitor* mon = udev_monitor_new_from_netlink(u, "udev");
  if (!mon) {
    udev_unref(u);
    return;
  }
  udev_monitor_filter_add_match_subsystem_devtype(mon, "block", "disk");
  if (udev_monitor_enable_receiving(mon) < 0) {
    udev_monitor_unref(mon);
    udev_unref(u);
    return;
  }
  pollfd p{udev_monitor_get_fd(mon), POLLIN, 0};
  for (;;) {
    if (poll(&p, 1, -1) <= 0) continue;
    udev_device* d = udev_monitor_receive_device(mon);
    if (!d) continue;
    const char* action = udev_device_get_action(d);
    const CString bus = Prop(d, "ID_BUS");
    if (action && bus.CompareNoCase(u"usb") == 0) {
      const bool add = std::strcmp(action, "add") == 0;
      const bool remove = std::strcmp(action, "remove") == 0;
      if (add || remove) {
        CString path = UsbStorDevicePath(Prop(d, "ID_VENDOR"), Prop(d, "ID_MODEL"), Prop(d, "ID_REVISION"),
                                         Prop(d, "ID_SERIAL_SHORT"));
        BroadcastDeviceChange(add, path);
      }
    }
    udev_device_unref(d);
  }
}
#endif

}  // namespace

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, const void* filter, DWORD flags) {
  (void)flags;
  auto hwnd = static_cast<HWND>(recipient);
  if (!IsWindow(hwnd) || !filter) return nullptr;
  // Tests announce devices themselves; the program listens to udev from its first registration.
  const char* test = std::getenv("KESTREL_TEST");
  if (!(test && *test)) StartDeviceMonitor();
  std::lock_guard<std::mutex> g(Dev().m);
  Dev().regs.push_back(std::make_unique<Registration>(Registration{hwnd}));
  return Dev().regs.back().get();
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY handle) {
  std::lock_guard<std::mutex> g(Dev().m);
  auto& r = Dev().regs;
  for (auto it = r.begin(); it != r.end(); ++it) {
    if (it->get() == handle) {
      r.erase(it);
      return TRUE;
    }
  }
  return FALSE;
}

void BroadcastDeviceChange(bool arrival, const CString& path) {
  std::vector<HWND> targets;
  {
    std::lock_guard<std::mutex> g(Dev().m);
    for (auto& r : Dev().regs) targets.push_back(r->hwnd);
  }
  const size_t chars = size_t(path.GetLength()) + 1;
  const size_t bytes = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + chars * sizeof(WCHAR);
  std::vector<uint8_t> buf(bytes, 0);
  auto* rec = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buf.data());
  rec->dbcc_size = DWORD(bytes);
  rec->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  rec->dbcc_classguid = kDiskInterface;
  std::memcpy(rec->dbcc_name, path.GetString(), chars * sizeof(WCHAR));
  const WPARAM event = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  for (HWND h : targets) {
    if (IsWindow(h)) SendMessageW(h, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(rec));
  }
}

bool StartDeviceMonitor() {
#ifdef KESTREL_HAVE_UDEV
  std::lock_guard<std::mutex> g(Dev().m);
  if (Dev().monitorStarted) return true;
  Dev().monitorStarted = true;
  std::thread(MonitorLoop).detach();
  return true;
#else
  return false;
#endif
}

CString UsbStorDevicePath(const CString& vendor, const CString& product, const CString& revision,
                          const CString& serial) {
  CString s = CString(u"\\\\?\\USBSTOR#Disk&Ven_") + PathPart(vendor) + u"&Prod_" + PathPart(product) + u"&Rev_" +
              PathPart(revision) + u"#" + PathPart(serial) + u"&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  return s;
}
