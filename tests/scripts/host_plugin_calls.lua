-- How orhost runs plug-in commands: error codes become script errors, and
-- the library can be freed only when nothing of it runs.
local T = require("testlib")
require_plugin("zip")

local archive = T.path("calls.zip")
T.pyzip(archive, {{"a.txt", string.rep("a", 1000)}, {"b.txt", "b"}})

T.case("error codes are raised as their bare text and remembered; %s is used once", function()
  T.eq(select(2, pcall(zip.GetFileAtIndex, 77, 0)), "Cannot find specified zip archive!", "bare text without position")
  local code = host.lasterror()
  T.ok(code >= 2000, "registered code: " .. code)
  T.err(function() require_plugin("zip", {speed = 1}) end, "Unknown option speed!")
  T.eq(host.lasterror(), 1222, "host error number")
  T.err(function() zip.GetFileAtIndex(77, 0) end, "Cannot find specified zip archive!")
  T.eq(host.lasterror(), code, "the same code for the same text")
  T.eq(select(2, pcall(zip.OpenArchive, {}, archive)), "bad argument #1 to 'OpenArchive' (number expected, got table)",
    "argument errors name the bare command")
end)

T.case("callbacks run inside the host-control bracket, where freelibrary is refused", function()
  T.withArchive(archive, function()
    local inside, refused
    T.eq(host.incallback(), false, "outside")
    zip.ExtractFile(1, 0, T.path("in.out"), {callback = function()
      inside = host.incallback()
      refused = select(2, pcall(host.freelibrary, "zip"))
    end})
    T.eq(inside, true, "inside the callback")
    T.ok(refused and refused:find("cannot free the library of plug-in zip", 1, true), tostring(refused))
    T.eq(zip.GetFileAtIndex(1, 1), "b.txt", "the archive is still open")
  end)
end)

T.finish()
