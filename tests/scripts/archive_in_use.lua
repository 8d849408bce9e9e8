-- A progress callback that reaches for the archive being closed is refused
-- with "Zip archive is in use!", and the close completes.
local T = require("testlib")
require_plugin("zip")

local function entries(id) return host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES) end
local busy = "Zip archive is in use!"

local function fresh(name)
  local path = T.path(name)
  T.pyzip(path, {{"a", "alpha"}, {"b", "beta"}})
  return path
end

-- Closes archive 1 with a callback that runs attempt once; returns the
-- error message attempt raised.
local function closeTrying(attempt)
  local message
  zip.CloseArchive(1, 0, function()
    if message == nil then
      local ok, err = pcall(attempt)
      message = ok and "no error" or err
    end
  end)
  return message
end

T.case("closing it again from its own callback", function()
  local path = fresh("again.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddDirectory(1, "d")
  T.eq(closeTrying(function() zip.CloseArchive(1) end), busy, "close")
  zip.OpenArchive(1, path)
  T.eq(entries(1), 3, "written once")
  zip.CloseArchive(1)
end)

T.case("discarding it from its own callback", function()
  local path = fresh("discard.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddDirectory(1, "d")
  T.eq(closeTrying(function() zip.CloseArchive(1, 1) end), busy, "discard")
end)

T.case("reopening its id from its own callback", function()
  local path = fresh("reopen.zip")
  zip.OpenArchive(1, path, 1004)
  zip.AddDirectory(1, "d")
  T.eq(closeTrying(function() zip.OpenArchive(1, path) end), busy, "reopen")
  T.eq(#host.objects(zip.GetObjectType()), 0, "nothing left open")
end)

T.case("changing or reading it from its own callback", function()
  local path = fresh("change.zip")
  local attempts = {
    function() zip.AddDirectory(1, "more") end,
    function() zip.DeleteFile(1, 0) end,
    function() zip.GetFileAtIndex(1, 0) end,
    function() entries(1) end,
  }
  for i, attempt in ipairs(attempts) do
    zip.OpenArchive(1, path, 1004)
    zip.AddDirectory(1, "d" .. i)
    T.eq(closeTrying(attempt), busy, "attempt " .. i)
  end
end)

T.case("other archives stay usable from the callback, a nested close included", function()
  local path = fresh("main.zip")
  local side = fresh("side.zip")
  -- Several blocks for the worker threads, in both closes.
  local lines = {}
  for i = 1, 60000 do lines[i] = string.format("%d %d\n", i, i * 7919 % 100003) end
  local text = table.concat(lines)
  local data = T.path("data.txt")
  T.writefile(data, text)
  zip.OpenArchive(1, path, 1004)
  zip.AddDirectory(1, "d")
  zip.AddFile(1, data)
  local count
  zip.CloseArchive(1, 0, function(t)
    if count == nil and t.progress > 0 then
      zip.OpenArchive(2, side, 1004)
      count = entries(2)
      zip.AddFile(2, data)
      zip.CloseArchive(2, 0, function() end)
    end
  end)
  T.eq(count, 2, "side archive")
  local out = T.path("data.out")
  for archive, index in pairs({[path] = 3, [side] = 2}) do
    zip.OpenArchive(3, archive)
    zip.ExtractFile(3, index, out)
    zip.CloseArchive(3)
    T.ok(T.readfile(out) == text, "the whole file in " .. archive)
  end
end)

T.finish()
