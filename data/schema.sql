-- The database of the piece-work wage system. Every text compares without regard to letter case;
-- dates are held as 'yyyy-MM-dd' text; prices and amounts are REAL yuan values, so that the
-- statements multiply and sum them directly (a piece price has at most three decimals, and a
-- double carries about 15 significant digits, far more than any wage total needs).
-- Nothing here enforces the uniqueness of names: the windows test it, each by its own rule.

PRAGMA journal_mode = DELETE;

CREATE TABLE UserData (
    Id       INTEGER PRIMARY KEY AUTOINCREMENT,
    User     TEXT COLLATE NOCASE,
    Password TEXT COLLATE NOCASE,
    Role     TEXT COLLATE NOCASE
) STRICT;
CREATE INDEX UserData_User ON UserData(User);

CREATE TABLE Dept (
    id       INTEGER PRIMARY KEY AUTOINCREMENT,
    DeptName TEXT COLLATE NOCASE
) STRICT;
CREATE INDEX Dept_DeptName ON Dept(DeptName);

CREATE TABLE Worker (
    id         INTEGER PRIMARY KEY AUTOINCREMENT,
    WorkerName TEXT COLLATE NOCASE,
    DeptId     INTEGER,
    MachineId  TEXT COLLATE NOCASE,
    EnterDate  TEXT COLLATE NOCASE CHECK (EnterDate IS NULL OR date(EnterDate) IS EnterDate)
) STRICT;
CREATE INDEX Worker_DeptMachine ON Worker(DeptId, MachineId);
CREATE INDEX Worker_WorkerName ON Worker(WorkerName);

CREATE TABLE Product (
    Id           INTEGER PRIMARY KEY AUTOINCREMENT,
    Kind         TEXT COLLATE NOCASE,
    Process      INTEGER,
    KindName     TEXT COLLATE NOCASE,
    ProductCount INTEGER,
    ProductDate  TEXT COLLATE NOCASE CHECK (ProductDate IS NULL OR date(ProductDate) IS ProductDate)
) STRICT;
CREATE INDEX Product_Kind ON Product(Kind);

CREATE TABLE Process (
    Id          INTEGER PRIMARY KEY AUTOINCREMENT,
    Process     TEXT COLLATE NOCASE,
    ProcessName TEXT COLLATE NOCASE,
    ProductId   TEXT COLLATE NOCASE,
    Price       REAL,
    Productsize TEXT COLLATE NOCASE
) STRICT;
CREATE INDEX Process_ProductStep ON Process(ProductId, Process);

CREATE TABLE Salary (
    id           INTEGER PRIMARY KEY AUTOINCREMENT,
    DeptName     TEXT COLLATE NOCASE,
    MachineId    INTEGER,
    WorkerName   TEXT COLLATE NOCASE,
    KindId       TEXT COLLATE NOCASE,
    KindName     TEXT COLLATE NOCASE,
    Process      TEXT COLLATE NOCASE,
    ProcessName  TEXT COLLATE NOCASE,
    ProcessSize  REAL,
    ProductCount INTEGER,
    ProcessPrice REAL,
    ProcessDate  TEXT COLLATE NOCASE CHECK (ProcessDate IS NULL OR date(ProcessDate) IS ProcessDate)
) STRICT;
-- Price application per style, step and month; the detail join on style and step.
CREATE INDEX Salary_KindStepDate ON Salary(KindId, Process, ProcessDate);
-- Month filters (ProcessDate >= first day AND ProcessDate < first day of the next month).
CREATE INDEX Salary_ProcessDate ON Salary(ProcessDate);
-- A team rename carries the new name into the records.
CREATE INDEX Salary_DeptName ON Salary(DeptName);
-- The wage summary per worker, team and machine place: walking this index gives the records in
-- the order of the grouping, with every column the summary reads, so the summary over all months
-- needs neither a sort of the records nor the table itself. A month's summary keeps to the month
-- index (its grouping terms are written so that they cannot take their order from this one).
CREATE INDEX Salary_WorkerGroup ON Salary(WorkerName, DeptName, MachineId, KindId, Process, ProductCount, ProcessPrice);
