-- The fault-injection sweep: a scenario runs once as it is, to count the
-- host allocations and file calls it makes, then once per counted call with
-- exactly that call failing. Each run must end with the clean run's result
-- or one of the scenario's errors, leave no host memory and no stray files,
-- and leave each archive in a state the clean run went through (byte for
-- byte, or by unzip -t / 7z t and a content digest).
--   S.scenario{name=, archives={paths}, setup=fn, run=fn -> plain value,
--              errors={exact messages}, password=, verify=fn (optional)}
--   S.checkpoint() inside run: the archives' current state is one a failure
--   may leave behind (the states before and after the run always are).
--   S.finish() prints the injection points per scenario, then T.finish().
local T = require("testlib")
local S = {T = T}

local KINDS = {"alloc", "open", "read", "write", "seek", "examine"}
local rows, recording = {}, nil  -- recording: accepted states, during a clean run
local verbose = os.getenv("SWEEP_VERBOSE") ~= nil

local function arm(kind, n)
  if kind == "alloc" then host.failalloc(n) else host.failio(kind, n) end
end

local function disarm()
  for _, kind in ipairs(KINDS) do arm(kind, 0) end
end

local function callsSince(before)
  local now, made = host.faultcounts(), {}
  for _, kind in ipairs(KINDS) do made[kind] = now[kind] - before[kind] end
  return made
end

-- Plain text of a result value, table keys sorted.
local function serialize(value)
  if type(value) == "string" then return string.format("%q", value) end
  if type(value) ~= "table" then return tostring(value) end
  local keys, parts = {}, {}
  for k in pairs(value) do keys[#keys + 1] = k end
  table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)
  for _, k in ipairs(keys) do parts[#parts + 1] = tostring(k) .. "=" .. serialize(value[k]) end
  return "{" .. table.concat(parts, ",") .. "}"
end

-- Hashes each entry's name, comment, size, CRC and data (AES entries, which
-- python cannot decrypt, without data: 7z t tests them), runs unzip -t or
-- 7z t, and prints the digest or "BAD: ...".
local CHECKER = [[
import hashlib, subprocess, sys, zipfile, struct
path, password = sys.argv[1], sys.argv[2]
try:
    h, aes = hashlib.sha256(), False
    with zipfile.ZipFile(path) as z:
        h.update(z.comment)
        for info in z.infolist():
            h.update(info.filename.encode('utf-8', 'surrogateescape') + b'\0' + info.comment + b'\0')
            h.update(struct.pack('<QI', info.file_size, info.CRC))
            if info.flag_bits & 1 and info.compress_type == 99:
                aes = True
                h.update(b'AES')
            else:
                h.update(z.read(info, pwd=password.encode()))
    tool = ['7z', 't', '-p' + password, path] if aes else ['unzip', '-tqq', '-P', password, path]
    r = subprocess.run(tool, capture_output=True)
    if r.returncode != 0:
        print('BAD: ' + ' '.join(tool[:2]) + ': ' + (r.stdout + r.stderr).decode(errors='replace').strip()[-300:])
    else:
        print(h.hexdigest())
except Exception as e:
    print('BAD: %s' % e)
]]
local checkerPath = T.path(".sweep_check.py")
T.writefile(checkerPath, CHECKER)
local digests = {}  -- per distinct archive bytes, so each version is checked once

-- The content digest of archive bytes (false: no file), or "BAD: ...".
local function digest(bytes, password)
  if bytes == false then return "absent" end
  if bytes == "" then return "empty file" end
  if not digests[bytes] then
    local tmp = T.path(".sweep_check.zip")
    T.writefile(tmp, bytes)
    digests[bytes] = (T.sh(string.format("%s '%s' '%s' '%s'", T.python, checkerPath, tmp, password or "none"))
      :gsub("%s+$", ""))
  end
  return digests[bytes]
end

local function snapshot(path) return T.readfile(path) or false end

-- Records the archives' current state as accepted.
local function record(scenario)
  for _, path in ipairs(scenario.archives) do
    local bytes, accepted = snapshot(path), recording[path]
    local sum = digest(bytes, scenario.password)
    if sum:find("^BAD") then error("the clean run left a bad archive " .. path .. ": " .. sum, 0) end
    accepted.bytes[bytes], accepted.digests[sum] = true, true
    accepted.last, accepted.lastBytes = sum, bytes
  end
end

function S.checkpoint()
  if S.current and recording then record(S.current) end
end

-- The files in the archives' folders: path -> true.
local function listing(scenario)
  local seen = {}
  for _, path in ipairs(scenario.archives) do
    local dir = path:match("^(.*)/[^/]+$")
    for _, info in ipairs(host.listdir(dir)) do seen[dir .. "/" .. info.name:match("([^/]+)$")] = true end
  end
  return seen
end

-- Files named like an archive and not there after the clean run: the
-- temporary files of a failed write. Removes them; returns their names.
local function removeStrays(scenario, clean)
  local stray = {}
  for path in pairs(listing(scenario)) do
    for _, archive in ipairs(scenario.archives) do
      if not clean[path] and path ~= archive and path:sub(1, #archive) == archive then
        stray[#stray + 1] = path
        os.remove(path)
      end
    end
  end
  return stray
end

local function runOnce(scenario)
  local ok, result = pcall(scenario.run)
  disarm()
  collectgarbage()
  return ok, ok and serialize(result) or tostring(result)
end

-- The archives after an injected run must be in a recorded state; after a
-- success only the final one will do.
local function checkArchives(scenario, states, succeeded)
  for _, path in ipairs(scenario.archives) do
    local accepted, bytes = states[path], snapshot(path)
    local sum = function() return digest(bytes, scenario.password) end
    if succeeded and bytes ~= accepted.lastBytes and sum() ~= accepted.last then
      error(path .. ": success reported, but the archive is not its new version: " .. sum(), 0)
    elseif not succeeded and not accepted.bytes[bytes] and not accepted.digests[sum()] then
      error(path .. ": neither the old nor a new complete version: " .. sum(), 0)
    end
  end
end

-- One injected run: call n of kind fails.
local function injected(scenario, kind, n, clean, states, cleanFiles)
  local succeeded, outcome = runOnce(scenario)
  T.eq(host.memory().blocks, 0, "host blocks left")
  if succeeded and outcome ~= clean then
    error(string.format("reported success with a different result\n  got  %s\n  want %s", outcome, clean), 0)
  elseif not succeeded then
    local accepted = false
    for _, want in ipairs(scenario.errors) do accepted = accepted or outcome == want end
    if not accepted then error("undocumented error: " .. outcome, 0) end
  end
  checkArchives(scenario, states, succeeded)
  local stray = removeStrays(scenario, cleanFiles)
  if #stray > 0 then error("left behind: " .. table.concat(stray, ", "), 0) end
  if scenario.verify then scenario.verify() end
end

-- Sweeps one scenario: the clean run, then one run per injection point.
function S.scenario(scenario)
  S.current = scenario
  scenario.archives = scenario.archives or {}
  disarm()
  scenario.setup()
  recording = {}
  for _, path in ipairs(scenario.archives) do recording[path] = {bytes = {}, digests = {}} end
  record(scenario)
  local before, blocks = host.faultcounts(), host.memory().blocks
  local ok, clean = runOnce(scenario)
  local calls = callsSince(before)
  T.case(scenario.name .. ": clean run", function()
    if not ok then error("the scenario fails without injection: " .. clean, 0) end
    T.eq(host.memory().blocks, blocks, "host blocks after the clean run")
  end)
  if ok then record(scenario) end
  local states, cleanFiles = recording, listing(scenario)
  recording, S.current = nil, ok and scenario or nil
  if not ok then return end
  local row = {name = scenario.name, total = 0}
  for _, kind in ipairs(KINDS) do
    row[kind], row.total = calls[kind], row.total + calls[kind]
    for n = 1, calls[kind] do
      local label = string.format("%s: %s #%d of %d", scenario.name, kind, n, calls[kind])
      if verbose then io.stderr:write(label, "\n") end
      scenario.setup()
      T.case(label, function()
        arm(kind, n)
        injected(scenario, kind, n, clean, states, cleanFiles)
      end)
    end
  end
  rows[#rows + 1] = row
  S.current = nil
end

function S.finish()
  local format = "%-44s %6s %5s %5s %5s %5s %7s %6s"
  print(string.format(format, "scenario", "alloc", "open", "read", "write", "seek", "examine", "total"))
  local sum = 0
  for _, r in ipairs(rows) do
    print(string.format(format, r.name:sub(1, 44), r.alloc, r.open, r.read, r.write, r.seek, r.examine, r.total))
    sum = sum + r.total
  end
  print(string.format("%d injection points in %d scenarios", sum, #rows))
  T.finish()
end

-- A to-be-closed value that discards archive id, so a run that stops half
-- way leaves no archive open.
function S.discarding(id)
  return setmetatable({}, {__close = function() pcall(zip.CloseArchive, id, 1) end})
end

-- value, or the error "<what> failed" (how scenarios report a decline).
function S.must(value, what)
  if value == nil or value == false then error(what .. " failed", 0) end
  return value
end

-- Exactly n bytes (fewer only at the end of the file); a read error or a
-- short read before the end is a failure.
function S.read(f, n, what)
  local data, msg = f:read(n)
  data = data or ""
  if msg or (#data < n and not f:eof()) then error(what .. " failed", 0) end
  return data
end

-- Makes path a 7-Zip archive of two AES-256 entries with the password
-- "secret": stored.txt (stored, as 7-Zip keeps small files) holding stored
-- and deflated.txt holding deflated; both carry an authentication code and
-- no CRC.
function S.sevenZipAes(path, stored, deflated)
  T.writefile(T.path("stored.txt"), stored)
  T.writefile(T.path("deflated.txt"), deflated)
  local out, ok = T.sh(string.format("cd '%s' && 7z a -tzip -mem=AES256 -psecret -mx0 '%s' stored.txt"
    .. " && 7z a -tzip -mem=AES256 -psecret '%s' deflated.txt", T.work, path, path))
  assert(ok, out)
end

return S
