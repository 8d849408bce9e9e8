-- Back up a folder tree into one ZIP archive, verify the archive, and
-- restore it into a new folder with its subfolders and times.
--
--   orhost examples/backup.lua [WORK_DIR [FOLDER]]
--
-- The archive (backup.zip) and the restored copy (restored/) go to WORK_DIR
-- (default: a fresh folder under /tmp), which is left behind to look at.
-- Without FOLDER the script backs up a small sample tree it makes there.
--
-- What a ZIP archive keeps: file contents, folders, modification times to 2
-- seconds (the ZIP date format; years 1980 to 2107) and each file's
-- permission bits. zip.ExtractFile writes files through the host, which
-- gives them its usual mode; unzip and 7-Zip restore the stored modes.

require_plugin("zip")

local function say(...) print(string.format(...)) end
local function title(text) print("\n== " .. text) end

-- A progress line for zip.CloseArchive and zip.ExtractFile.
local function progress(t)
  io.write(string.format("\r   %-12s %3d%%  %s", t.action, t.progress, t.userdata or ""))
  if t.progress == 100 then io.write("\n") end
  io.flush()
end

local work = arg[1]
if not work then
  work = os.tmpname()
  os.remove(work)
end
os.execute("mkdir -p '" .. work .. "'")

-- Every folder and file below root, parents before their contents, as
-- {path = relative path, type = "file" or "directory", time = date string}.
local function walk(root)
  local items = {}
  local function visit(relative)
    local entries = assert(host.listdir(relative == "" and root or root .. "/" .. relative))
    table.sort(entries, function(a, b) return a.name < b.name end)
    for _, entry in ipairs(entries) do
      local path = relative == "" and entry.name or relative .. "/" .. entry.name
      items[#items + 1] = {path = path, type = entry.type, time = entry.time, size = entry.size}
      if entry.type == "directory" then visit(path) end
    end
  end
  visit("")
  return items
end

-- The sample tree: a few folders, text and binary files, one of them old.
local function makeSample(root)
  for _, folder in ipairs({"", "/docs", "/docs/drafts", "/photos", "/empty"}) do host.mkdir(root .. folder) end
  host.writefile(root .. "/readme.txt", "What this folder holds.\n")
  host.writefile(root .. "/docs/report.txt", string.rep("A line of the yearly report.\n", 2000))
  host.writefile(root .. "/docs/drafts/idea.txt", "Later.\n")
  local bytes = {}
  for i = 1, 50000 do bytes[i] = string.char((i * 7919) % 256) end
  host.writefile(root .. "/photos/picture.raw", table.concat(bytes))
  host.setattributes(root .. "/docs/drafts/idea.txt", {time = "24-Dec-1999 18:00:01"})
  host.setattributes(root .. "/docs/drafts", {time = "01-Jan-2000 00:00:00"})
end

local source = arg[2]
if not source then
  source = work .. "/sample"
  makeSample(source)
end
local archive = work .. "/backup.zip"
local restored = work .. "/restored"
local items = walk(source)

-- A date string with an odd second put back to the even one before it: the
-- time a ZIP entry keeps.
local function zipTime(time)
  local seconds = tonumber(time:sub(19, 20))
  return time:sub(1, 18) .. string.format("%02d", seconds - seconds % 2)
end

title("Packing " .. source)
-- Every added file stays open until the archive is written, so the files go
-- in batches: each batch is written, and the archive reopened (mode 1004)
-- for the next. That keeps far below the open-file limit, whatever the tree.
local BATCH = 500
os.remove(archive)
local id = zip.OpenArchive(nil, archive, 1006)
local pending, files, folders = 0, 0, 0
for _, item in ipairs(items) do
  if item.type == "directory" then
    local index = zip.AddDirectory(id, item.path)
    zip.SetFileTime(id, index, item.time)  -- files take their own time
    folders = folders + 1
  else
    zip.AddFile(id, source .. "/" .. item.path, {newname = item.path})
    files, pending = files + 1, pending + 1
    if pending == BATCH then
      zip.CloseArchive(id, 0, progress, files .. " files")
      id, pending = zip.OpenArchive(nil, archive, 1004), 0
    end
  end
end
zip.CloseArchive(id, 0, progress, files .. " files, " .. folders .. " folders")

title("Verifying " .. archive)
-- Each item's entry is found by name and extracted to a scratch file,
-- which must hold the same bytes; sizes and times must match too.
local check = work .. "/check.tmp"
local bad = 0
zip.OpenArchive(1, archive)
for _, item in ipairs(items) do
  local name = item.path .. (item.type == "directory" and "/" or "")
  local index = zip.LocateFile(1, name)
  local problem
  if index < 0 then
    problem = "missing"
  else
    local a = zip.GetFileAttributes(1, index)
    if a.time ~= zipTime(item.time) then problem = "time " .. a.time .. " instead of " .. item.time end
    if item.type == "file" then
      zip.ExtractFile(1, index, check)
      if host.readfile(check) ~= host.readfile(source .. "/" .. item.path) then problem = "contents differ" end
    end
  end
  if problem then
    bad = bad + 1
    say("   %s: %s", name, problem)
  end
end
zip.CloseArchive(1)
os.remove(check)
say("   %d entries checked, %d bad", #items, bad)

title("Restoring into " .. restored)
os.execute("rm -rf '" .. restored .. "'")
host.mkdir(restored)
zip.OpenArchive(1, archive)
local count = host.getattribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
local folderTimes = {}
for i = 0, count - 1 do
  local name = zip.GetFileAtIndex(1, i)
  local time = zip.GetFileAttributes(1, i).time
  local target = restored .. "/" .. name:gsub("/$", "")
  if name:sub(-1) == "/" then
    host.mkdir(target)
    folderTimes[#folderTimes + 1] = {target, time}
  else
    zip.ExtractFile(1, i, target, {callback = progress, userdata = name})
    host.setattributes(target, {time = time})
  end
end
zip.CloseArchive(1)
-- A folder's time changes whenever something is put into it, so folder
-- times are set last, deepest first.
for i = #folderTimes, 1, -1 do host.setattributes(folderTimes[i][1], {time = folderTimes[i][2]}) end

title("Comparing the restored tree with the original")
local copies, restoredItems = {}, walk(restored)
for _, item in ipairs(restoredItems) do copies[item.path] = item end
local differences = math.abs(#restoredItems - #items)
for _, item in ipairs(items) do
  local copy = copies[item.path]
  local same = copy and copy.type == item.type and copy.time == zipTime(item.time) and
               (item.type == "directory" or
                host.readfile(restored .. "/" .. item.path) == host.readfile(source .. "/" .. item.path))
  if not same then
    differences = differences + 1
    say("   %s: DIFFERENT", item.path)
  end
end
say("   %d files and %d folders restored, %d differences", files, folders, differences)

title("Done")
say("   host memory still held by the plug-in: %d blocks", host.memory().blocks)
if bad > 0 or differences > 0 then os.exit(1) end
