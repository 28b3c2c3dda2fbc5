-- The demo sales database: about 100,000 rows made deterministically from row numbers,
-- with Cyrillic names and a few NULLs, so that every build shows the same pivot.
PRAGMA journal_mode = OFF;
PRAGMA synchronous = OFF;

DROP TABLE IF EXISTS sales;
DROP TABLE IF EXISTS regions;
DROP TABLE IF EXISTS managers;
DROP TABLE IF EXISTS products;

CREATE TABLE regions (id INTEGER PRIMARY KEY, name VARCHAR(40));
INSERT INTO regions VALUES
  (0, 'Москва'), (1, 'Санкт-Петербург'), (2, 'Новосибирск'), (3, 'Екатеринбург'),
  (4, 'Казань'), (5, 'Нижний Новгород'), (6, 'Самара'), (7, 'Ростов-на-Дону');

CREATE TABLE managers (id INTEGER PRIMARY KEY, region_id INTEGER, name VARCHAR(40));
INSERT INTO managers VALUES
  (0, 0, 'Иванов И.И.'), (1, 0, 'Петрова А.С.'), (2, 0, 'Сидоров П.К.'),
  (3, 1, 'Смирнова Е.В.'), (4, 1, 'Кузнецов Д.А.'),
  (5, 2, 'Попов С.Н.'), (6, 2, 'Васильева О.Ю.'),
  (7, 3, 'Соколов М.Р.'), (8, 3, 'Михайлова Т.Г.'),
  (9, 4, 'Новиков А.Ф.'), (10, 4, 'Фёдорова Л.Е.'),
  (11, 5, 'Морозов В.В.'), (12, 6, 'Волкова Н.И.'),
  (13, 7, 'Алексеев Г.Б.'), (14, 7, 'Лебедева Ю.П.');

CREATE TABLE products (id INTEGER PRIMARY KEY, name VARCHAR(40), price NUMERIC(10,2));
INSERT INTO products VALUES
  (0, 'Чай чёрный', 120.50), (1, 'Чай зелёный', 135.00), (2, 'Кофе молотый', 410.00),
  (3, 'Кофе в зёрнах', 560.00), (4, 'Какао', 230.75), (5, 'Сахар', 65.20),
  (6, 'Печенье', 89.90), (7, 'Шоколад', 145.00), (8, 'Конфеты', 310.40),
  (9, 'Мёд', 480.00), (10, 'Варенье', 260.00), (11, 'Пряники', 99.50);

CREATE TABLE sales (
  region VARCHAR(40),
  manager VARCHAR(40),
  product VARCHAR(40),
  year INTEGER,
  month INTEGER,
  qty INTEGER,
  amount NUMERIC(12,2)
);

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000),
r AS (
  SELECT i,
         (i * 2654435761) % 4294967296 AS h1,
         ((i + 7) * 40503 * 2246822519) % 4294967296 AS h2,
         ((i + 13) * 3266489917) % 4294967296 AS h3
  FROM n
),
g AS (
  SELECT i, h1, h2, h3,
         h1 % 15 AS mgr,
         h2 % 12 AS prod,
         2022 + (h3 % 4) AS yr,
         1 + ((h1 / 16) % 12) AS mon,
         1 + ((h2 / 16) % 20) AS q
  FROM r
)
INSERT INTO sales (region, manager, product, year, month, qty, amount)
SELECT
  (SELECT name FROM regions WHERE id = m.region_id),
  m.name,
  -- NULLs where they show the rule without filling the first screen of the opening layout
  -- (regions and managers by years): a product level, months and amounts.
  CASE WHEN i % 1499 = 0 THEN NULL ELSE p.name END,
  g.yr,
  CASE WHEN i % 2003 = 0 THEN NULL ELSE g.mon END,
  g.q,
  CASE WHEN i % 1009 = 0 THEN NULL
       ELSE round(g.q * p.price * (1 + (g.yr - 2022) * 0.07) * (90 + (g.h3 / 64) % 21) / 100.0, 2) END
FROM g
JOIN managers m ON m.id = g.mgr
JOIN products p ON p.id = g.prod;

DROP TABLE regions;
DROP TABLE managers;
CREATE INDEX sales_year ON sales(year);
