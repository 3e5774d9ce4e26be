// a11y: reads and works a running window through its accessible object
// tree (MSAA), as a screen reader does, for end-to-end tests (run in the
// same Wine prefix as the program).
//   a11y tree WINDOW            prints every object below the window's client
//   a11y find WINDOW STEP...    prints the nearest visible object that matches
//   a11y press WINDOW STEP...   does that object's default action
//   a11y focus WINDOW           prints the object that has the keyboard focus
//   a11y watch WINDOW SECONDS   prints the focus, name, value and state
//                               changes the window announces, until SECONDS
//                               pass or standard input ends
// WINDOW is a top-level window's title or class name. A STEP is "ROLE:NAME",
// "ROLE:" (any name) or "NAME" (any role); a NAME ending in "*" matches by
// prefix; each step is searched below the object the previous one found.
// One line per object, UTF-8, fields separated by tabs:
//   ROLE NAME VALUE STATES X,Y,W,H
// after the change ("focus", "name", "value" or "state") in "watch";
// indented by two blanks per level in "tree". STATES are names joined by
// "+". Exit status 1 when the window or the object is not found, 3 when the
// window gives no accessible object, 4 when the action fails.
#include "host/text.h"

#include <windows.h>
#include <oleacc.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Owns one reference of a COM interface.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* p) : p_(p) {}
  ComRef(const ComRef& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComRef& operator=(ComRef o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComRef() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() { return &p_; }

 private:
  T* p_ = nullptr;
};

// An accessible object: a full IAccessible (child CHILDID_SELF) or a simple
// element that its parent answers for (child > 0).
struct Node {
  ComRef<IAccessible> acc;
  LONG child = CHILDID_SELF;
  VARIANT Id() const {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = child;
    return v;
  }
};

struct RoleName {
  LONG role;
  const char* name;
};
// The roles the program's windows use; others print as "role" and a number.
const RoleName kRoles[] = {
    {ROLE_SYSTEM_WINDOW, "window"},
    {ROLE_SYSTEM_CLIENT, "client"},
    {ROLE_SYSTEM_GRAPHIC, "graphic"},
    {ROLE_SYSTEM_STATICTEXT, "statictext"},
    {ROLE_SYSTEM_TEXT, "text"},
    {ROLE_SYSTEM_PUSHBUTTON, "pushbutton"},
    {ROLE_SYSTEM_CHECKBUTTON, "checkbutton"},
    {ROLE_SYSTEM_RADIOBUTTON, "radiobutton"},
    {ROLE_SYSTEM_LIST, "list"},
    {ROLE_SYSTEM_LISTITEM, "listitem"},
    {ROLE_SYSTEM_PROGRESSBAR, "progressbar"},
};

struct StateName {
  LONG state;
  const char* name;
};
const StateName kStates[] = {
    {STATE_SYSTEM_UNAVAILABLE, "unavailable"}, {STATE_SYSTEM_SELECTED, "selected"},
    {STATE_SYSTEM_FOCUSED, "focused"},         {STATE_SYSTEM_PRESSED, "pressed"},
    {STATE_SYSTEM_CHECKED, "checked"},         {STATE_SYSTEM_INVISIBLE, "invisible"},
    {STATE_SYSTEM_OFFSCREEN, "offscreen"},     {STATE_SYSTEM_FOCUSABLE, "focusable"},
    {STATE_SYSTEM_SELECTABLE, "selectable"},   {STATE_SYSTEM_HOTTRACKED, "hottracked"},
    {STATE_SYSTEM_READONLY, "readonly"},
};

std::string RoleText(LONG role) {
  for (const RoleName& r : kRoles) {
    if (r.role == role) return r.name;
  }
  return "role" + std::to_string(role);
}

LONG Role(const Node& n) {
  VARIANT role;
  VariantInit(&role);
  if (FAILED(n.acc->get_accRole(n.Id(), &role)) || role.vt != VT_I4) {
    VariantClear(&role);
    return 0;
  }
  return role.lVal;
}

LONG State(const Node& n) {
  VARIANT state;
  VariantInit(&state);
  if (FAILED(n.acc->get_accState(n.Id(), &state)) || state.vt != VT_I4) {
    VariantClear(&state);
    return 0;
  }
  return state.lVal;
}

std::string StateText(LONG state) {
  std::string text;
  for (const StateName& s : kStates) {
    if (state & s.state) text += (text.empty() ? "" : "+") + std::string(s.name);
  }
  return text;
}

// Takes a BSTR result; empty when the call fails or gives nothing.
std::wstring Text(HRESULT hr, BSTR text) {
  std::wstring out;
  if (SUCCEEDED(hr) && text) out.assign(text, SysStringLen(text));
  SysFreeString(text);
  for (wchar_t& c : out) {
    if (c == L'\t' || c == L'\n' || c == L'\r') c = L' ';
  }
  return out;
}

std::wstring Name(const Node& n) {
  BSTR text = nullptr;
  HRESULT hr = n.acc->get_accName(n.Id(), &text);
  return Text(hr, text);
}

std::wstring Value(const Node& n) {
  BSTR text = nullptr;
  HRESULT hr = n.acc->get_accValue(n.Id(), &text);
  return Text(hr, text);
}

std::string Line(const Node& n) {
  LONG x = 0, y = 0, w = 0, h = 0;
  n.acc->accLocation(&x, &y, &w, &h, n.Id());
  char location[64];
  std::snprintf(location, sizeof location, "%ld,%ld,%ld,%ld", x, y, w, h);
  return RoleText(Role(n)) + "\t" + kavi::ToUtf8(Name(n)) + "\t" + kavi::ToUtf8(Value(n)) + "\t" +
         StateText(State(n)) + "\t" + location;
}

// The children of a full object, each either a full object (VT_DISPATCH)
// or an element id (VT_I4) answered by the parent.
std::vector<Node> Children(const Node& n) {
  std::vector<Node> out;
  if (n.child != CHILDID_SELF) return out;
  LONG count = 0;
  if (FAILED(n.acc->get_accChildCount(&count)) || count <= 0) return out;
  std::vector<VARIANT> items(static_cast<size_t>(count));
  LONG obtained = 0;
  if (FAILED(AccessibleChildren(n.acc.get(), 0, count, items.data(), &obtained))) return out;
  for (LONG i = 0; i < obtained; ++i) {
    VARIANT& v = items[static_cast<size_t>(i)];
    if (v.vt == VT_DISPATCH && v.pdispVal) {
      Node child;
      if (SUCCEEDED(v.pdispVal->QueryInterface(__uuidof(IAccessible),
                                               reinterpret_cast<void**>(child.acc.out())))) {
        out.push_back(child);
      }
    } else if (v.vt == VT_I4) {
      out.push_back(Node{n.acc, v.lVal});
    }
    VariantClear(&v);
  }
  return out;
}

// Trees are small; the limit only stops a tree that loops back on itself.
constexpr int kMaxDepth = 24;

void PrintTree(const Node& n, int depth) {
  std::printf("%s%s\n", std::string(static_cast<size_t>(depth) * 2, ' ').c_str(), Line(n).c_str());
  if (depth >= kMaxDepth) return;
  for (const Node& c : Children(n)) PrintTree(c, depth + 1);
}

bool Matches(const Node& n, const std::wstring& step) {
  std::wstring role, name = step;
  size_t colon = step.find(L':');
  if (colon != std::wstring::npos) {
    role = step.substr(0, colon);
    name = step.substr(colon + 1);
    if (kavi::ToUtf8(role) != RoleText(Role(n))) return false;
    if (name.empty()) return true;
  }
  std::wstring actual = Name(n);
  if (!name.empty() && name.back() == L'*') {
    return actual.compare(0, name.size() - 1, name, 0, name.size() - 1) == 0;
  }
  return actual == name;
}

// Level by level, skipping invisible objects and what they hold: a button
// beside a list is found without asking for the list's rows.
bool FindBelow(const Node& top, const std::wstring& step, Node* found) {
  std::vector<Node> level{top};
  for (int depth = 0; depth < kMaxDepth && !level.empty(); ++depth) {
    std::vector<Node> next;
    for (const Node& n : level) {
      for (const Node& c : Children(n)) {
        if (State(c) & STATE_SYSTEM_INVISIBLE) continue;
        if (Matches(c, step)) {
          *found = c;
          return true;
        }
        next.push_back(c);
      }
    }
    level.swap(next);
  }
  return false;
}

// The focused object: a full object that answers with a full child is
// asked again, down to the object or element that holds the focus itself.
bool FocusBelow(const Node& top, Node* focused) {
  Node n = top;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    VARIANT focus;
    VariantInit(&focus);
    if (FAILED(n.acc->get_accFocus(&focus))) return false;
    if (focus.vt == VT_EMPTY && depth > 0) {  // the child that answered has it
      *focused = n;
      return true;
    }
    if (focus.vt == VT_I4) {
      *focused = Node{n.acc, focus.lVal};
      return true;
    }
    Node child;
    if (focus.vt == VT_DISPATCH && focus.pdispVal) {
      focus.pdispVal->QueryInterface(__uuidof(IAccessible),
                                     reinterpret_cast<void**>(child.acc.out()));
    }
    VariantClear(&focus);
    if (!child.acc.get()) return false;
    n = child;
  }
  return false;
}

HWND FindTopWindow(const wchar_t* title_or_class) {
  HWND window = FindWindowW(nullptr, title_or_class);
  return window ? window : FindWindowW(title_or_class, nullptr);
}

const char* ChangeName(DWORD event) {
  switch (event) {
    case EVENT_OBJECT_FOCUS:
      return "focus";
    case EVENT_OBJECT_NAMECHANGE:
      return "name";
    case EVENT_OBJECT_VALUECHANGE:
      return "value";
    case EVENT_OBJECT_STATECHANGE:
      return "state";
    default:
      return nullptr;
  }
}

HWND g_watched = nullptr;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                         DWORD) {
  const char* change = ChangeName(event);
  if (!change || window != g_watched) return;
  Node n;
  VARIANT id;
  VariantInit(&id);
  if (FAILED(AccessibleObjectFromEvent(window, static_cast<DWORD>(object),
                                       static_cast<DWORD>(child), n.acc.out(), &id))) {
    return;
  }
  n.child = id.vt == VT_I4 ? id.lVal : CHILDID_SELF;
  std::printf("%s\t%s\n", change, Line(n).c_str());
  std::fflush(stdout);
}

DWORD WINAPI QuitAtEndOfInput(void* watcher) {
  char buffer[256];
  DWORD read = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
  PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<uintptr_t>(watcher)), WM_QUIT, 0, 0);
  return 0;
}

// Out-of-context events arrive through this thread's message queue.
int Watch(HWND window, int seconds) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  g_watched = window;
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr,
                                       &OnWinEvent, process, 0, WINEVENT_OUTOFCONTEXT);
  if (!hook) return 4;
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before the reader posts
  HANDLE reader = CreateThread(
      nullptr, 0, &QuitAtEndOfInput,
      reinterpret_cast<void*>(static_cast<uintptr_t>(GetCurrentThreadId())), 0, nullptr);
  if (reader) CloseHandle(reader);
  std::printf("watching\n");
  std::fflush(stdout);
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  for (bool quit = false; !quit;) {
    const LONG left = static_cast<LONG>(until - GetTickCount());
    if (left <= 0) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      DispatchMessageW(&msg);
    }
  }
  UnhookWinEvent(hook);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: a11y tree WINDOW | find WINDOW STEP... | press WINDOW STEP... | "
               "focus WINDOW | watch WINDOW SECONDS\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  const std::wstring verb = argv[1];
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  HWND window = FindTopWindow(argv[2]);
  if (!window) return 1;
  Node root;
  if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible),
                                        reinterpret_cast<void**>(root.acc.out())))) {
    return 3;
  }
  if (verb == L"tree") {
    PrintTree(root, 0);
    return 0;
  }
  if (verb == L"watch" && argc > 3) return Watch(window, _wtoi(argv[3]));
  if (verb == L"focus") {
    Node n;
    if (!FocusBelow(root, &n)) return 1;
    std::printf("%s\n", Line(n).c_str());
    return 0;
  }
  if ((verb == L"find" || verb == L"press") && argc > 3) {
    Node n = root;
    for (int i = 3; i < argc; ++i) {
      Node below;
      if (!FindBelow(n, argv[i], &below)) return 1;
      n = below;
    }
    std::printf("%s\n", Line(n).c_str());
    std::fflush(stdout);
    if (verb == L"find") return 0;
    // The window does the action later, so a message box it opens does
    // not hold up this call.
    HRESULT hr = n.acc->accDoDefaultAction(n.Id());
    if (FAILED(hr)) std::printf("failed 0x%08lx\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 4 : 0;
  }
  return Usage();
}
