-- libzip writes archives with its own file access, which host.failio does
-- not reach. Here the file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) makes
-- every write past a point fail, at each 512-byte step of the new archive:
-- zip.CloseArchive (rewriting everything, and keeping the old data by a
-- copy of the archive's start) and the adapter's writing FClose, MakeDir,
-- RenameFSObj and deferred DeleteFSObj must report the failure, keep the
-- old archive whole, leave no temporary file and no host memory.
local S = require("sweep")
local T = S.T

local dir = T.path("full")
os.execute("mkdir -p '" .. dir .. "'")
local arc = dir .. "/arc.zip"
local text = string.rep("Sing a song of sixpence, a pocket full of rye.\n", 40)
T.pyzip(arc, {{"a.txt", text}, {"docs/b.txt", "bravo"}, {"c.txt", text, method = "stored"}})
local pristine = T.readfile(arc)
local added = T.path("added.txt")
T.writefile(added, string.rep("added data ", 300))
local child = T.path("child.lua")

-- Runs code in an orhost whose files may grow to at most limit bytes
-- (nil: no limit); returns what it printed.
local function runLimited(code, limit)
  T.writefile(child, "local ok, r = pcall(function()\n" .. code .. "\nend)\n" ..
    "print(ok and tostring(r) or 'error: ' .. tostring(r), host.memory().blocks)\n")
  local ulimit = limit and string.format("ulimit -f %d; ", limit // 512) or ""
  local out = T.sh(string.format("sh -c \"trap '' XFSZ; %sexec '%s' '%s'\"", ulimit, T.orhost, child))
  return (out:gsub("%s+$", ""))
end

-- Sweeps the write of one change over every 512-byte limit up to the new
-- archive's size: each run ends "true 0" with a new, whole archive, or
-- with the failure and the old one, never with a stray file. Adds the
-- number of limits tried to the printed rows.
local rows = {}
local function sweep(name, code, failure)
  T.writefile(arc, pristine)
  local clean = runLimited(code)
  local new = T.readfile(arc)
  T.case(name .. ": clean run", function() T.eq(clean, "true\t0", "clean run") end)
  local steps = 0
  for limit = 0, #new + 512, 512 do
    steps = steps + 1
    T.case(string.format("%s: files limited to %d bytes", name, limit), function()
      T.writefile(arc, pristine)
      local out = runLimited(code, limit)
      local now = T.readfile(arc)
      if out == "true\t0" then
        T.ok(now ~= pristine, "success leaves the new archive")
        local test, good = T.sh("unzip -tqq '" .. arc .. "'")
        T.ok(good, "the new archive is whole: " .. test)
      else
        T.eq(out, failure .. "\t0", "reported failure, no memory held")
        T.ok(now == pristine, "the old archive is intact")
      end
      for _, info in ipairs(host.listdir(dir)) do
        T.ok(info.name:match("([^/]+)$") == "arc.zip", "no stray file: " .. info.name)
      end
    end)
  end
  rows[#rows + 1] = string.format("%-44s %6d", name, steps)
end

-- zip.CloseArchive after an added file (and with drop a deleted first
-- entry; without it the old data is kept by a copy of the archive's start).
local function closeArchive(drop)
  return string.format([[
  require_plugin("zip")
  zip.OpenArchive(1, %q, 1004)
  zip.AddFile(1, %q, {newname = "new/added.txt"})
  if %s then zip.DeleteFile(1, 0) end
  local written, message = pcall(zip.CloseArchive, 1)
  -- A failed write keeps the archive open with its changes: drop them.
  if not written then zip.CloseArchive(1, 1) error(message, 0) end
  return true]], arc, added, drop)
end

require_plugin("zip")
sweep("zip.CloseArchive", closeArchive(true), "error: A zip error has occurred!")
sweep("zip.CloseArchive keeping the old data", closeArchive(false), "error: A zip error has occurred!")
local adapter = "require_plugin('zip', {installadapter = true})\n"
sweep("FClose of a writing handle", adapter .. string.format([[
  local f = assert(host.open(%q, "w"))
  f:write(string.rep("written ", 500))
  return f:close()]], arc .. "/docs/w.txt"), "false")
sweep("MakeDir", adapter .. string.format("return host.mkdir(%q)", arc .. "/newdir"), "false")
sweep("RenameFSObj", adapter .. string.format("return host.rename(%q, 'papers')", arc .. "/docs"), "false")
sweep("deferred DeleteFSObj", adapter .. string.format([[
  local d = assert(host.opendir(%q))
  local filed = host.delete(%q)
  d:close()
  return filed and host.stat(%q) == nil]], arc, arc .. "/a.txt", arc .. "/a.txt"), "false")

print(string.format("%-44s %6s", "write under a file size limit", "limits"))
for _, line in ipairs(rows) do print(line) end
T.finish()
