// The plug-in as a portal page's script drives it, run by the system's own
// script host after the plug-in was registered:
//   cscript //nologo script_client.js MUTEX_NAME
// It creates the object by its ProgID, calls every method and property and
// prints one line per call: "<what>: <answer>", or "<what>: error <code>"
// when the call threw. Texts outside printable ASCII are printed as \uXXXX.
// The exit code is 1 when the object cannot be made, else 0.
// MUTEX_NAME names a mutex that the caller holds while this runs.

function printable(text) {
  var out = "";
  for (var i = 0; i < text.length; i++) {
    var c = text.charCodeAt(i);
    out += (c >= 32 && c < 127) ? text.charAt(i) : "\\u" + ("000" + c.toString(16)).slice(-4);
  }
  return out;
}

function hex(n) {
  return "0x" + (n < 0 ? n + 0x100000000 : n).toString(16).toUpperCase();
}

function attempt(what, call) {
  var line;
  try {
    var answer = call();
    line = what + ": " + (answer === undefined ? "done" : printable(String(answer)));
  } catch (e) {
    line = what + ": error " + hex(e.number);
  }
  WScript.Echo(line);
}

var mutexName = WScript.Arguments.length > 0 ? WScript.Arguments(0) : "";
var plugin;
attempt("new ActiveXObject", function () { plugin = new ActiveXObject("KIVROPlugin.KIVROPlugin"); });
if (plugin === undefined) WScript.Quit(1);

attempt("zms_chkDown", function () { return plugin.zms_chkDown(); });
attempt("zms_chkLauncher", function () { return plugin.zms_chkLauncher(); });
attempt("CurGameInfo before SearchZelmora", function () { return plugin.CurGameInfo; });
attempt("SearchZelmora", function () { return plugin.SearchZelmora(); });
attempt("CurGameInfo after SearchZelmora", function () { return plugin.CurGameInfo; });
attempt("CurGameInfo round trip", function () {
  plugin.CurGameInfo = "\ubc14\ub451 \uc911\uacc4 KIVRO";
  return plugin.CurGameInfo;
});
attempt("CurGameInfo of 600 characters", function () {
  var text = "";
  for (var i = 0; i < 600; i++) text += String.fromCharCode(97 + i % 26);
  plugin.CurGameInfo = text;
  var back = plugin.CurGameInfo;
  return back.length + " characters, " + (back == text.substring(0, 511) ? "its start" : "changed");
});
attempt("CurGameInfo through a second object", function () {
  plugin.CurGameInfo = "shared text";
  var second = new ActiveXObject("KIVROPlugin.KIVROPlugin.1");
  return second.CurGameInfo;
});
attempt("zms_chkMutex held", function () { return plugin.zms_chkMutex(mutexName); });
attempt("zms_chkMutex missing", function () { return plugin.zms_chkMutex(mutexName + " missing"); });
attempt("zms_startGame empty", function () { return plugin.zms_startGame(""); });
attempt("zms_startGame", function () { return plugin.zms_startGame("Gobanvista"); });
attempt("zms_startNotify", function () { return plugin.zms_startNotify("Gobanvista"); });
attempt("unknown member", function () { return plugin.zms_noSuchThing(); });
